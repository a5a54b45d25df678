#include "ui/dialog_texts.h"

#include <string>
#include <vector>

#include "win32/shown_text.h"

namespace updater::ui {
namespace {

void replaceText(HWND window, const Messages& messages, MessageId id) {
    const std::string text = messages.load(id);
    if (window && !text.empty()) SetWindowTextW(window, win32::wideFromShown(text).c_str());
}

// The template's plain left-aligned labels in its order: the one above the
// list, then the heading. The status line does not wrap and the banner is a
// picture, so neither is one.
std::vector<HWND> labels(HWND dialog) {
    std::vector<HWND> found;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16]{};
        GetClassNameW(child, className, 16);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if (lstrcmpiW(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_LEFT) found.push_back(child);
    }
    return found;
}

}  // namespace

void showDialogTexts(HWND dialog, const Messages& messages) {
    replaceText(dialog, messages, MessageId::DialogTitle);
    const std::vector<HWND> found = labels(dialog);
    if (found.size() == 2) {
        replaceText(found[0], messages, MessageId::DialogInstalled);
        replaceText(found[1], messages, MessageId::DialogHeading);
    }
    replaceText(GetDlgItem(dialog, IDOK), messages, MessageId::DialogNext);
    replaceText(GetDlgItem(dialog, IDCANCEL), messages, MessageId::DialogCancel);
}

void useLanguageFont(DialogLayout& layout, DisplayLanguage language) {
    switch (language) {
    case DisplayLanguage::TraditionalChinese: return layout.useFace(L"PMingLiU", CHINESEBIG5_CHARSET, 100);
    case DisplayLanguage::Japanese: return layout.useFace(L"MS UI Gothic", SHIFTJIS_CHARSET, 100);
    // 9 pt: Latin letters are wider than the template's half-width ones, and
    // the status line's longest texts must fit as they do in Chinese.
    case DisplayLanguage::English: return layout.useFace(L"MS Shell Dlg 2", DEFAULT_CHARSET, 90);
    case DisplayLanguage::SimplifiedChinese: return;
    }
}

}  // namespace updater::ui
