// The login dialog on Windows: a modal dialog built from an in-memory template, laid out from
// the model's twip positions, forwarding what the person does to the frmLogin model.
#include <windows.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "login/frmLogin.h"
#include "platform/LoginDialog.h"

namespace varnholt::platform {
namespace {

constexpr WORD kButtonClass = 0x0080, kEditClass = 0x0081, kStaticClass = 0x0082;
constexpr int kFirstControlId = 1000;

class Template {
public:
    void Word(WORD w) { data_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Text(const String& text) {
        for (char16_t c : text) Word(static_cast<WORD>(c));
        Word(0);
    }
    void AlignDword() {
        if (data_.size() % 2) Word(0);
    }
    WORD* Data() { return data_.data(); }
    size_t Size() const { return data_.size(); }
    WORD& At(size_t index) { return data_[index]; }

private:
    std::vector<WORD> data_;
};

struct DialogUnits {
    int baseX = 6, baseY = 13;  // dialog base units of the dialog font, in pixels
    int dpi = 96;
    // Twips to dialog units: twips -> pixels -> units.
    short X(int32_t twips) const { return static_cast<short>(MulDiv(MulDiv(twips, dpi, 1440), 4, baseX)); }
    short Y(int32_t twips) const { return static_cast<short>(MulDiv(MulDiv(twips, dpi, 1440), 8, baseY)); }
};

DialogUnits MeasureDialogFont() {
    DialogUnits units;
    HDC screen = GetDC(nullptr);
    if (!screen) return units;
    units.dpi = GetDeviceCaps(screen, LOGPIXELSY);
    HFONT font = CreateFontW(-MulDiv(8, units.dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Shell Dlg");
    HGDIOBJ previous = SelectObject(screen, font);
    static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE size{};
    TEXTMETRICW metrics{};
    if (GetTextExtentPoint32W(screen, kAlphabet, 52, &size) && GetTextMetricsW(screen, &metrics)) {
        units.baseX = std::max(1, static_cast<int>((size.cx / 26 + 1) / 2));
        units.baseY = std::max(1, static_cast<int>(metrics.tmHeight));
    }
    SelectObject(screen, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    return units;
}

struct ViewState {
    frmLogin* dialog;
    std::vector<Control*> controls;  // by control id - kFirstControlId
    HBRUSH white = nullptr;
    HFONT bold = nullptr;
    std::exception_ptr failure;
    bool syncing = false;

    ~ViewState() {
        if (white) DeleteObject(white);
        if (bold) DeleteObject(bold);
    }
    int IdOf(const Control* c) const {
        if (c == &dialog->cmdOK()) return IDOK;
        if (c == &dialog->cmdCancel()) return IDCANCEL;
        const auto at = std::find(controls.begin(), controls.end(), c);
        return at == controls.end() ? 0 : kFirstControlId + static_cast<int>(at - controls.begin());
    }
    Control* ControlOf(int id) const {
        if (id == IDOK) return &dialog->cmdOK();
        if (id == IDCANCEL) return &dialog->cmdCancel();
        const int index = id - kFirstControlId;
        return index >= 0 && index < static_cast<int>(controls.size()) ? controls[static_cast<size_t>(index)] : nullptr;
    }
};

const wchar_t* Wide(const String& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The model's texts, title and selection onto the window.
void Refresh(HWND window, ViewState& state) {
    state.syncing = true;
    SetWindowTextW(window, Wide(state.dialog->Caption()));
    for (Control* c : state.controls) {
        HWND item = GetDlgItem(window, state.IdOf(c));
        if (!item) continue;
        const String& text = c->Kind == ControlKind::TextBox ? c->Text : c->Caption;
        if (c->Kind == ControlKind::TextBox || c->Kind == ControlKind::Label || c->Kind == ControlKind::Button)
            SetWindowTextW(item, Wide(text));
    }
    state.syncing = false;
}

void ApplySelection(HWND window, ViewState& state, Control& box) {
    SendDlgItemMessageW(window, state.IdOf(&box), EM_SETSEL, static_cast<WPARAM>(box.SelStart),
                        static_cast<LPARAM>(box.SelStart + box.SelLength));
}

bool InBanner(const ViewState& state, const Control* c) {
    return c == &state.dialog->Frame1() || c->Container == &state.dialog->Frame1();
}

INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ViewState& state) {
    frmLogin& dialog = *state.dialog;
    switch (message) {
        case WM_INITDIALOG: {
            state.white = CreateSolidBrush(RGB(255, 255, 255));
            LOGFONTW font{};
            if (HFONT normal = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
                normal && GetObjectW(normal, sizeof font, &font)) {
                font.lfWeight = FW_BOLD;
                state.bold = CreateFontIndirectW(&font);
            }
            for (Control* c : state.controls)
                if (c->Bold && state.bold)
                    SendDlgItemMessageW(window, state.IdOf(c), WM_SETFONT, reinterpret_cast<WPARAM>(state.bold), FALSE);
            Refresh(window, state);
            if (Control* focus = dialog.ActiveControl()) {
                SetFocus(GetDlgItem(window, state.IdOf(focus)));
                if (focus->Kind == ControlKind::TextBox) ApplySelection(window, state, *focus);
            }
            return FALSE;  // the focus is set
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                dialog.Form_Activate();
                Refresh(window, state);
            }
            return FALSE;
        case WM_CTLCOLORSTATIC: {
            const Control* c = state.ControlOf(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
            if (c && InBanner(state, c)) {
                SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
                return reinterpret_cast<INT_PTR>(state.white);
            }
            return FALSE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            Control* c = state.ControlOf(id);
            if (HIWORD(wParam) == EN_CHANGE && c && !state.syncing) {
                wchar_t buffer[1024] = {};
                const int n = GetDlgItemTextW(window, id, buffer, 1024);
                c->Text.assign(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(n));
            } else if (HIWORD(wParam) == EN_SETFOCUS && c) {
                dialog.SetFocus(*c);
                ApplySelection(window, state, *c);
            } else if (id == IDOK && (HIWORD(wParam) == BN_CLICKED)) {
                // Enter on the Cancel button cancels; anywhere else it is OK.
                if (GetFocus() == GetDlgItem(window, IDCANCEL))
                    dialog.cmdCancel_Click();
                else
                    dialog.cmdOK_Click();
            } else if (id == IDCANCEL && HIWORD(wParam) == BN_CLICKED) {
                dialog.cmdCancel_Click();
            }
            if (dialog.Hidden()) EndDialog(window, 0);
            return TRUE;
        }
        case WM_CLOSE:
            dialog.Close();
            EndDialog(window, 0);
            return TRUE;
        default: return FALSE;
    }
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* state = reinterpret_cast<ViewState*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!state) return FALSE;
    try {
        return HandleMessage(window, message, wParam, lParam, *state);
    } catch (...) {
        // Errors of the model may not unwind through the system's window code.
        if (!state->failure) state->failure = std::current_exception();
        EndDialog(window, 0);
        return TRUE;
    }
}

void AddItem(Template& t, const DialogUnits& units, const Control& c, int id, WORD windowClass, DWORD style,
             const String& text, int32_t left, int32_t top) {
    t.AlignDword();
    DWORD fullStyle = WS_CHILD | style;
    if (c.Visible) fullStyle |= WS_VISIBLE;
    if (!c.Enabled) fullStyle |= WS_DISABLED;
    if (c.CanTakeFocus()) fullStyle |= WS_TABSTOP;
    t.Dword(fullStyle);
    t.Dword(c.Kind == ControlKind::TextBox ? WS_EX_CLIENTEDGE : 0);
    t.Word(static_cast<WORD>(units.X(left)));
    t.Word(static_cast<WORD>(units.Y(top)));
    t.Word(static_cast<WORD>(std::max<short>(1, units.X(c.Width))));
    t.Word(static_cast<WORD>(std::max<short>(1, units.Y(c.Height))));
    t.Word(static_cast<WORD>(id));
    t.Word(0xFFFF);
    t.Word(windowClass);
    t.Text(text);
    t.Word(0);
}

Template BuildTemplate(ViewState& state, const DialogUnits& units) {
    frmLogin& dialog = *state.dialog;
    // Controls the person works with first, in tab order: that is the dialog's tab order.
    std::vector<Control*> ordered = dialog.Controls();
    std::stable_sort(ordered.begin(), ordered.end(), [](const Control* a, const Control* b) {
        if (a->TabStop != b->TabStop) return a->TabStop;
        return a->TabStop && a->TabIndex < b->TabIndex;
    });
    state.controls = ordered;

    Template t;
    t.Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    t.Dword(0);
    const size_t countAt = t.Size();
    t.Word(0);
    t.Word(0);
    t.Word(0);
    t.Word(static_cast<WORD>(units.X(dialog.ClientWidth())));
    t.Word(static_cast<WORD>(units.Y(dialog.ClientHeight())));
    t.Word(0);  // no menu
    t.Word(0);  // the standard dialog class
    t.Text(dialog.Caption());
    t.Word(8);
    t.Text(u"MS Shell Dlg");

    WORD count = 0;
    for (Control* c : ordered) {
        int32_t left = c->Left, top = c->Top;
        for (const Control* box = c->Container; box; box = box->Container) {
            left += box->Left;
            top += box->Top;
        }
        const int id = state.IdOf(c);
        switch (c->Kind) {
            case ControlKind::Panel: AddItem(t, units, *c, id, kStaticClass, SS_WHITERECT, u"", left, top); break;
            case ControlKind::Picture: AddItem(t, units, *c, id, kStaticClass, SS_WHITERECT, u"", left, top); break;
            case ControlKind::Line: AddItem(t, units, *c, id, kStaticClass, SS_ETCHEDHORZ, u"", left, top); break;
            case ControlKind::Label: AddItem(t, units, *c, id, kStaticClass, SS_LEFT, c->Caption, left, top); break;
            case ControlKind::TextBox: {
                DWORD style = ES_LEFT | ES_AUTOHSCROLL;
                if (c->Masked) style |= ES_PASSWORD;
                if (c->Locked) style |= ES_READONLY;
                AddItem(t, units, *c, id, kEditClass, style, c->Text, left, top);
                break;
            }
            case ControlKind::Button:
                AddItem(t, units, *c, id, kButtonClass, c->Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, c->Caption,
                        left, top);
                break;
        }
        ++count;
    }
    t.At(countAt) = count;
    return t;
}

class Win32LoginView final : public LoginView {
public:
    void ShowModal(frmLogin& dialog) override {
        ViewState state;
        state.dialog = &dialog;
        Template t = BuildTemplate(state, MeasureDialogFont());
        HINSTANCE instance = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&DialogProc), &instance);
        // No owner window: the dialog belongs to no window of the client.
        DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(t.Data()), nullptr, &DialogProc,
                                reinterpret_cast<LPARAM>(&state));
        if (state.failure) std::rethrow_exception(state.failure);
    }
};

}  // namespace

std::shared_ptr<LoginView> OpenWindowedLoginView() { return std::make_shared<Win32LoginView>(); }

// Windows has no terminal prompt: the dialog always has a desktop to show on.
std::shared_ptr<LoginView> OpenTerminalLoginView() { return nullptr; }

}  // namespace varnholt::platform
