/* The guide's product code as a product runs it, from the folder of
   Update.exe: without arguments CheckForUpdate, with "start" StartUpdater,
   with "update" UpdateNow.
   Prints the answer and exits with its code. */
#include "docs/product_snippets.c"

int main(int argc, char **argv)
{
    char version[100];
    DWORD code;
    if (argc > 1 && strcmp(argv[1], "start") == 0) {
        const int started = StartUpdater();
        printf("started %d\n", started);
        return started;
    }
    if (argc > 1 && strcmp(argv[1], "update") == 0) {
        const int updated = UpdateNow();
        printf("updated %d\n", updated);
        return updated;
    }
    code = CheckForUpdate(version, sizeof version);
    if (code == 1)
        printf("newer: %s.\n", version);
    else
        printf("answer %lu\n", code);
    return (int)code;
}
