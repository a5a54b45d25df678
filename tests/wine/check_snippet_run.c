/* The guide's product code as a product runs it: CheckForUpdate from the
   folder of Update.exe; prints the answer, exits with its code. */
#include "docs/product_snippets.c"

int main(void)
{
    char version[100];
    const DWORD code = CheckForUpdate(version, sizeof version);
    if (code == 1)
        printf("newer: %s.\n", version);
    else
        printf("answer %lu\n", code);
    return (int)code;
}
