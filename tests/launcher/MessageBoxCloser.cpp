// Test helper: waits (at most 20 s) for a message box with the given caption,
// prints its text, whether it shows an icon, and its visible buttons, then presses its OK button.
// Line breaks in the text are printed as \n. Exit code 0 when a box was found.
// Usage: msgbox_closer.exe CAPTION
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct BoxContents {
    std::string text;
    bool icon = false;
    std::string buttons;
};

std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

BOOL CALLBACK collect(HWND child, LPARAM param)
{
    BoxContents& box = *reinterpret_cast<BoxContents*>(param);
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    char text[1024] = {};
    GetWindowTextA(child, text, sizeof text);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(className, "Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            // Icon handles are per process under Wine and their images cannot
            // be read from here, so only the presence of an icon is told.
            if (SendMessageA(child, STM_GETICON, 0, 0) && IsWindowVisible(child))
                box.icon = true;
        } else if (text[0]) {
            box.text += text;
        }
    } else if (lstrcmpiA(className, "Button") == 0 && IsWindowVisible(child)) {
        box.buttons += box.buttons.empty() ? "" : ",";
        box.buttons += std::to_string(GetDlgCtrlID(child)) + ":" + text;
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: msgbox_closer CAPTION\n");
        return 2;
    }
    HWND box = nullptr;
    for (int i = 0; i < 200 && !box; ++i) {
        box = FindWindowA("#32770", argv[1]);
        if (!box)
            Sleep(100);
    }
    if (!box) {
        std::printf("BOX none\n");
        return 1;
    }
    Sleep(200); // let the box finish its set-up
    BoxContents contents;
    EnumChildWindows(box, collect, reinterpret_cast<LPARAM>(&contents));
    std::printf("BOX CAPTION[%s]\n", argv[1]);
    std::printf("BOX TEXT[%s]\n", escaped(contents.text).c_str());
    std::printf("BOX ICON[%s]\n", contents.icon ? "shown" : "none");
    std::printf("BOX BUTTONS[%s]\n", contents.buttons.c_str());
    std::fflush(stdout);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    return 0;
}
