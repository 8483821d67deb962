#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/resource_script.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Styles of each window as the dialog manager hands them to CreateWindowEx, before the control
// adjusts its own (the themed progress bar drops its WS_BORDER when it is created).
struct CreationStyles {
    DWORD style;
    DWORD exStyle;
};
std::map<HWND, CreationStyles>* g_creationStyles = nullptr;

LRESULT CALLBACK RecordCreationStyles(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_creationStyles) {
        const CREATESTRUCTW* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam)->lpcs;
        (*g_creationStyles)[reinterpret_cast<HWND>(wParam)] = {static_cast<DWORD>(create->style),
                                                               create->dwExStyle};
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A dialog created from one of the program's templates, destroyed with the test.
class TemplateDialog {
  public:
    TemplateDialog(int templateId, HWND parent) {
        g_creationStyles = &m_creationStyles;
        HHOOK hook = SetWindowsHookExW(WH_CBT, RecordCreationStyles, nullptr, GetCurrentThreadId());
        m_hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                                    PlainDialogProc, 0);
        UnhookWindowsHookEx(hook);
        g_creationStyles = nullptr;
    }
    ~TemplateDialog() {
        if (m_hwnd) {
            DestroyWindow(m_hwnd);
        }
    }
    TemplateDialog(const TemplateDialog&) = delete;
    TemplateDialog& operator=(const TemplateDialog&) = delete;
    HWND Get() const { return m_hwnd; }

    // The control's style from the template. The dialog manager hands an edit control's
    // WS_BORDER over as a client edge, so that edge stands for it.
    DWORD TemplateStyleOf(HWND control) const {
        auto found = m_creationStyles.find(control);
        if (found == m_creationStyles.end()) {
            return 0;
        }
        DWORD style = found->second.style;
        if (found->second.exStyle & WS_EX_CLIENTEDGE) {
            style |= WS_BORDER;
        }
        return style;
    }

  private:
    HWND m_hwnd = nullptr;
    std::map<HWND, CreationStyles> m_creationStyles;
};

using resource_script::DialogControl;

std::wstring WindowText(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    std::wstring text(length + 1, L'\0');
    text.resize(GetWindowTextW(hwnd, &text[0], length + 1));
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

// The rectangle a control of the dialog takes, in pixels of the dialog's client area: the
// dialog manager converts position and size each on its own.
RECT PixelsOfDialogUnits(HWND dialog, const RECT& units) {
    RECT r = units;
    MapDialogRect(dialog, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

RECT ChildRect(HWND dialog, HWND child) {
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<HWND> ChildrenInZOrder(HWND dialog) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

bool IsStaticOfType(const DialogControl& control, DWORD type) {
    return control.className == L"Static" && (control.style.value_or(0) & SS_TYPEMASK) == type;
}

// The dialog's children, in z-order, are the CONTROL lines of its template in the resource
// script, in the script's order, each with its id, class, text, style and place.
void ExpectControls(const TemplateDialog& dialogWindow, const wchar_t* templateName) {
    HWND dialog = dialogWindow.Get();
    std::vector<DialogControl> controls = resource_script::DialogControls(templateName);
    ASSERT_FALSE(controls.empty()) << "no CONTROL line read for " << templateName;
    std::vector<HWND> children = ChildrenInZOrder(dialog);
    ASSERT_EQ(children.size(), controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
        const DialogControl& control = controls[i];
        HWND child = children[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " id " << control.id);
        EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(child)), static_cast<WORD>(control.id));
        EXPECT_EQ(ClassOf(child), control.className);
        if (control.text) {
            EXPECT_EQ(WindowText(child), *control.text);
        }
        ASSERT_TRUE(control.style) << "a style name the test does not know";
        EXPECT_EQ(dialogWindow.TemplateStyleOf(child), *control.style);
        RECT expected = PixelsOfDialogUnits(dialog, control.dialogUnits);
        RECT actual = ChildRect(dialog, child);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        // An icon control takes the size of its icon, so only its corner is the template's.
        if (IsStaticOfType(control, SS_ICON)) {
            continue;
        }
        if (IsStaticOfType(control, SS_ETCHEDHORZ)) {
            // An etched line gains its edge around the template width.
            EXPECT_GE(actual.right, expected.right);
            EXPECT_LE(actual.right, expected.right + 2);
            EXPECT_EQ(actual.bottom, expected.bottom);
        } else {
            EXPECT_EQ(actual.right, expected.right);
            EXPECT_EQ(actual.bottom, expected.bottom);
        }
    }
}

LOGFONTW DialogFont(HWND dialog) {
    LOGFONTW font = {};
    HFONT handle = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    GetObjectW(handle, sizeof(font), &font);
    return font;
}

int PointsToPixels(int points) {
    HDC screen = GetDC(nullptr);
    int pixels = MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Skips one menu, class or title field of a dialog template: none, an ordinal or a string.
const WORD* SkipSzOrOrd(const WORD* field) {
    if (*field == 0xFFFF) {
        return field + 2;
    }
    while (*field++ != 0) {
    }
    return field;
}

// The character set stored with the font of an extended dialog template. Windows creates the
// dialog font with it; Wine always asks for DEFAULT_CHARSET, so the created font cannot show it.
BYTE TemplateFontCharSet(int templateId) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    const WORD* words =
        info ? static_cast<const WORD*>(LockResource(LoadResource(module, info))) : nullptr;
    if (words == nullptr || words[0] != 1 || words[1] != 0xFFFF) {
        return 0xFF;
    }
    // dlgVer, signature, helpID, exStyle, style, cDlgItems, x, y, cx, cy.
    const WORD* field = words + 13;
    field = SkipSzOrOrd(SkipSzOrOrd(SkipSzOrOrd(field)));
    // pointsize, weight, then italic and charset as two bytes.
    return reinterpret_cast<const BYTE*>(field + 2)[1];
}

void ExpectShellDlgFont(HWND dialog, int templateId, BYTE charSet) {
    LOGFONTW font = DialogFont(dialog);
    EXPECT_STREQ(font.lfFaceName, L"MS Shell Dlg");
    EXPECT_EQ(font.lfHeight, -PointsToPixels(8));
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_EQ(font.lfItalic, 0);
    EXPECT_EQ(TemplateFontCharSet(templateId), charSet);
}

// Window styles that the window manager adds to every top-level dialog it creates.
const DWORD kAddedByWindowManager = WS_CLIPSIBLINGS | DS_3DLOOK;

void ExpectClientSizeInDialogUnits(HWND dialog, LONG width, LONG height) {
    RECT expected = PixelsOfDialogUnits(dialog, {0, 0, width, height});
    RECT client = {};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);
}

class DialogTemplates : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
    }
};

TEST_F(DialogTemplates, AddressPage) {
    TemplateDialog page(IDD_VELMORA_SETUP_DIALOG, nullptr);
    ASSERT_NE(page.Get(), nullptr);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(page.Get(), GWL_STYLE)) & ~kAddedByWindowManager,
              resource_script::DialogStyle(L"IDD_VELMORA_SETUP_DIALOG"));
    EXPECT_TRUE(GetWindowLongW(page.Get(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(WindowText(page.Get()), L"설치 - Velmora");
    ExpectShellDlgFont(page.Get(), IDD_VELMORA_SETUP_DIALOG, 0x81);
    ExpectClientSizeInDialogUnits(page.Get(), 347, 205);
    ExpectControls(page, L"IDD_VELMORA_SETUP_DIALOG");
}

TEST_F(DialogTemplates, AddressPageNamesItsControls) {
    TemplateDialog page(IDD_VELMORA_SETUP_DIALOG, nullptr);
    ASSERT_NE(page.Get(), nullptr);
    for (int id : {IDC_SCHEME_HTTP, IDC_SCHEME_HTTPS, IDC_HOST, IDC_NEXT, IDCANCEL, IDC_INFO_TEXT,
                   IDC_ADDRESS_GROUP, IDC_SCHEME_PREFIX, IDC_PORT}) {
        EXPECT_NE(GetDlgItem(page.Get(), id), nullptr) << id;
    }
}

TEST_F(DialogTemplates, DownloadPageCoversTheAddressPage) {
    TemplateDialog parent(IDD_VELMORA_SETUP_DIALOG, nullptr);
    ASSERT_NE(parent.Get(), nullptr);
    TemplateDialog page(IDD_DOWNLOAD_PAGE, parent.Get());
    ASSERT_NE(page.Get(), nullptr);
    EXPECT_EQ(GetParent(page.Get()), parent.Get());
    DWORD style = static_cast<DWORD>(GetWindowLongW(page.Get(), GWL_STYLE)) & ~DS_3DLOOK;
    EXPECT_EQ(style,
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE | DS_CONTROL | DS_SETFONT | DS_FIXEDSYS));
    EXPECT_TRUE(GetWindowLongW(page.Get(), GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    EXPECT_EQ(WindowText(page.Get()), L"");
    ExpectShellDlgFont(page.Get(), IDD_DOWNLOAD_PAGE, DEFAULT_CHARSET);
    ExpectClientSizeInDialogUnits(page.Get(), 347, 205);

    RECT pageRect = ChildRect(parent.Get(), page.Get());
    RECT parentClient = {};
    GetClientRect(parent.Get(), &parentClient);
    EXPECT_EQ(pageRect.left, 0);
    EXPECT_EQ(pageRect.top, 0);
    EXPECT_EQ(pageRect.right, parentClient.right);
    EXPECT_EQ(pageRect.bottom, parentClient.bottom);

    ExpectControls(page, L"IDD_DOWNLOAD_PAGE");
}

TEST_F(DialogTemplates, DownloadPageProgressStartsAtDefaultRange) {
    TemplateDialog parent(IDD_VELMORA_SETUP_DIALOG, nullptr);
    TemplateDialog page(IDD_DOWNLOAD_PAGE, parent.Get());
    HWND bar = GetDlgItem(page.Get(), IDC_PROGRESS);
    ASSERT_NE(bar, nullptr);
    PBRANGE range = {};
    SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    DWORD style = static_cast<DWORD>(GetWindowLongW(bar, GWL_STYLE));
    EXPECT_EQ(style & (PBS_SMOOTH | PBS_MARQUEE | PBS_VERTICAL), 0u);
}

TEST_F(DialogTemplates, AboutBox) {
    TemplateDialog about(IDD_ABOUTBOX, nullptr);
    ASSERT_NE(about.Get(), nullptr);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(about.Get(), GWL_STYLE)) &
                  ~(kAddedByWindowManager | WS_VISIBLE),
              resource_script::DialogStyle(L"IDD_ABOUTBOX"));
    EXPECT_EQ(WindowText(about.Get()), L"About Velmora_Setup");
    ExpectShellDlgFont(about.Get(), IDD_ABOUTBOX, DEFAULT_CHARSET);
    ExpectClientSizeInDialogUnits(about.Get(), 170, 62);
    ExpectControls(about, L"IDD_ABOUTBOX");
    HWND icon = GetWindow(about.Get(), GW_CHILD);
    EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0);
}

}  // namespace
