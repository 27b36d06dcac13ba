// The login dialog on Windows: a modal dialog built from an in-memory template, laid out in
// pixels from the model's twip positions, forwarding what the person does to the frmLogin model.
// The banner's panel, picture and line are painted by the dialog itself; the labels, boxes and
// buttons are child windows.
#include <windows.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "login/LoginPicture.h"
#include "login/frmLogin.h"
#include "platform/Handle.h"
#include "platform/LoginDialog.h"

namespace varnholt::platform {
namespace {

constexpr WORD kButtonClass = 0x0080, kEditClass = 0x0081, kStaticClass = 0x0082;
constexpr int kFirstControlId = 1000;
constexpr DWORD kDialogStyle = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

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

bool IsWindowed(const Control& c) {
    return c.Kind == ControlKind::Label || c.Kind == ControlKind::TextBox || c.Kind == ControlKind::Button;
}

COLORREF ToColorRef(uint32_t colour) {
    // The design's system colours carry their index in the low byte.
    if (colour & 0x80000000u) return GetSysColor(static_cast<int>(colour & 0xFF));
    return static_cast<COLORREF>(colour & 0x00FFFFFF);
}

// The banner picture as a top-down 24-bit device-independent bitmap.
struct DibPicture {
    BITMAPINFO info{};
    std::vector<uint8_t> bits;

    explicit DibPicture(const RgbImage& image) {
        if (image.Empty()) return;
        const size_t stride = (static_cast<size_t>(image.Width) * 3 + 3) & ~size_t{3};
        bits.assign(stride * static_cast<size_t>(image.Height), 0);
        for (size_t y = 0; y < static_cast<size_t>(image.Height); ++y)
            for (size_t x = 0; x < static_cast<size_t>(image.Width); ++x) {
                const uint8_t* rgb = &image.Pixels[(y * static_cast<size_t>(image.Width) + x) * 3];
                uint8_t* bgr = &bits[y * stride + x * 3];
                bgr[0] = rgb[2];
                bgr[1] = rgb[1];
                bgr[2] = rgb[0];
            }
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = image.Width;
        info.bmiHeader.biHeight = -image.Height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
    }
};

struct GdiTraits {
    using Type = HGDIOBJ;
    static HGDIOBJ None() { return nullptr; }
    static void Free(HGDIOBJ h) { DeleteObject(h); }
};
using GdiObject = Handle<GdiTraits>;

struct ViewState {
    frmLogin* dialog = nullptr;
    std::vector<Control*> items;  // the child windows, by control id - kFirstControlId
    int dpi = 96;
    GdiObject bold;
    GdiObject bannerBrush;  // the background of the labels that lie on the panel
    DibPicture picture{LoginPicture()};
    std::exception_ptr failure;
    bool syncing = false;

    int Pixels(int32_t twips) const { return MulDiv(twips, dpi, 1440); }
    int IdOf(const Control* c) const {
        if (c == &dialog->cmdOK()) return IDOK;
        if (c == &dialog->cmdCancel()) return IDCANCEL;
        const auto at = std::find(items.begin(), items.end(), c);
        return at == items.end() ? 0 : kFirstControlId + static_cast<int>(at - items.begin());
    }
    Control* ControlOf(int id) const {
        if (id == IDOK) return &dialog->cmdOK();
        if (id == IDCANCEL) return &dialog->cmdCancel();
        const int index = id - kFirstControlId;
        return index >= 0 && index < static_cast<int>(items.size()) ? items[static_cast<size_t>(index)] : nullptr;
    }
};

const wchar_t* Wide(const String& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

POINT AbsoluteTopLeft(const Control& c) {
    POINT at{c.Left, c.Top};
    for (const Control* box = c.Container; box; box = box->Container) {
        at.x += box->Left;
        at.y += box->Top;
    }
    return at;
}

// Only texts that differ are written, so a caret or selection the person made stays put.
void SetTextIfChanged(HWND window, const String& text) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> current(static_cast<size_t>(length) + 1);
    GetWindowTextW(window, current.data(), length + 1);
    if (String(reinterpret_cast<const char16_t*>(current.data())) != text) SetWindowTextW(window, Wide(text));
}

// The model's texts and title onto the window.
void Refresh(HWND window, ViewState& state) {
    state.syncing = true;
    SetTextIfChanged(window, state.dialog->Caption());
    for (Control* c : state.items)
        if (HWND item = GetDlgItem(window, state.IdOf(c)))
            SetTextIfChanged(item, c->Kind == ControlKind::TextBox ? c->Text : c->Caption);
    state.syncing = false;
}

void ApplySelection(HWND window, ViewState& state, Control& box) {
    SendDlgItemMessageW(window, state.IdOf(&box), EM_SETSEL, static_cast<WPARAM>(box.SelStart),
                        static_cast<LPARAM>(box.SelStart + box.SelLength));
}

// Exact pixel positions for every child and the client area; the template's dialog units
// would round each of them differently.
void Layout(HWND window, ViewState& state) {
    for (Control* c : state.items) {
        const POINT at = AbsoluteTopLeft(*c);
        SetWindowPos(GetDlgItem(window, state.IdOf(c)), nullptr, state.Pixels(at.x), state.Pixels(at.y),
                     state.Pixels(c->Width), state.Pixels(c->Height), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT frame{0, 0, state.Pixels(state.dialog->ClientWidth()), state.Pixels(state.dialog->ClientHeight())};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The panel, the picture and the line, each clipped to its container as the design nests them.
void PaintBanner(HWND window, ViewState& state) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (!dc) return;
    for (const Control* c : state.dialog->Controls()) {
        if (IsWindowed(*c) || !c->Visible) continue;
        const POINT at = AbsoluteTopLeft(*c);
        const int left = state.Pixels(at.x), top = state.Pixels(at.y);
        const int saved = SaveDC(dc);
        for (const Control* box = c->Container; box; box = box->Container) {
            const POINT boxAt = AbsoluteTopLeft(*box);
            IntersectClipRect(dc, state.Pixels(boxAt.x), state.Pixels(boxAt.y), state.Pixels(boxAt.x + box->Width),
                              state.Pixels(boxAt.y + box->Height));
        }
        switch (c->Kind) {
            case ControlKind::Panel: {
                const RECT area{left, top, left + state.Pixels(c->Width), top + state.Pixels(c->Height)};
                GdiObject brush(CreateSolidBrush(ToColorRef(c->BackColor)));
                FillRect(dc, &area, static_cast<HBRUSH>(brush.Get()));
                break;
            }
            case ControlKind::Picture:
                if (!state.picture.bits.empty()) {
                    IntersectClipRect(dc, left, top, left + state.Pixels(c->Width), top + state.Pixels(c->Height));
                    const auto& header = state.picture.info.bmiHeader;
                    const DWORD height = static_cast<DWORD>(-header.biHeight);
                    SetDIBitsToDevice(dc, left, top, static_cast<DWORD>(header.biWidth), height, 0, 0, 0, height,
                                      state.picture.bits.data(), &state.picture.info, DIB_RGB_COLORS);
                }
                break;
            case ControlKind::Line: {
                GdiObject pen(CreatePen(PS_SOLID, 1, ToColorRef(c->LineColor)));
                SelectObject(dc, pen.Get());
                MoveToEx(dc, left, top, nullptr);
                LineTo(dc, state.Pixels(at.x + c->Width), state.Pixels(at.y + c->Height));
                RestoreDC(dc, saved);  // deselects the pen before it is deleted
                continue;
            }
            default: break;
        }
        RestoreDC(dc, saved);
    }
    EndPaint(window, &paint);
}

INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ViewState& state) {
    frmLogin& dialog = *state.dialog;
    switch (message) {
        case WM_INITDIALOG: {
            if (HDC screen = GetDC(window)) {
                state.dpi = GetDeviceCaps(screen, LOGPIXELSY);
                ReleaseDC(window, screen);
            }
            state.bannerBrush.Reset(CreateSolidBrush(ToColorRef(dialog.Frame1().BackColor)));
            LOGFONTW font{};
            if (HFONT normal = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
                normal && GetObjectW(normal, sizeof font, &font)) {
                font.lfWeight = FW_BOLD;
                state.bold.Reset(CreateFontIndirectW(&font));
            }
            for (Control* c : state.items) {
                if (c->Bold && state.bold.Get())
                    SendDlgItemMessageW(window, state.IdOf(c), WM_SETFONT, reinterpret_cast<WPARAM>(state.bold.Get()),
                                        FALSE);
                if (c->Masked) SendDlgItemMessageW(window, state.IdOf(c), EM_SETPASSWORDCHAR, L'*', 0);
            }
            Layout(window, state);
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
        case WM_PAINT: PaintBanner(window, state); return TRUE;
        case WM_CTLCOLORSTATIC: {
            const Control* c = state.ControlOf(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
            if (c && c->Container == &dialog.Frame1() && state.bannerBrush.Get()) {
                SetBkColor(reinterpret_cast<HDC>(wParam), ToColorRef(dialog.Frame1().BackColor));
                return reinterpret_cast<INT_PTR>(state.bannerBrush.Get());
            }
            return FALSE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            Control* c = state.ControlOf(id);
            if (HIWORD(wParam) == EN_CHANGE && c && !state.syncing) {
                const int length = GetWindowTextLengthW(reinterpret_cast<HWND>(lParam));
                std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
                const int n = GetWindowTextW(reinterpret_cast<HWND>(lParam), buffer.data(), length + 1);
                c->Text.assign(reinterpret_cast<const char16_t*>(buffer.data()), static_cast<size_t>(std::max(n, 0)));
            } else if (HIWORD(wParam) == EN_SETFOCUS && c) {
                dialog.SetFocus(*c);
                ApplySelection(window, state, *c);
            } else if (id == IDOK && HIWORD(wParam) == BN_CLICKED) {
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

// Positions and sizes are set in pixels when the dialog starts (Layout).
void AddItem(Template& t, const Control& c, int id, WORD windowClass, DWORD style, const String& text) {
    t.AlignDword();
    DWORD fullStyle = WS_CHILD | style;
    if (c.Visible) fullStyle |= WS_VISIBLE;
    if (!c.Enabled) fullStyle |= WS_DISABLED;
    if (c.CanTakeFocus()) fullStyle |= WS_TABSTOP;
    t.Dword(fullStyle);
    t.Dword(c.Kind == ControlKind::TextBox ? WS_EX_CLIENTEDGE : 0);
    for (int i = 0; i < 4; ++i) t.Word(0);
    t.Word(static_cast<WORD>(id));
    t.Word(0xFFFF);
    t.Word(windowClass);
    t.Text(text);
    t.Word(0);
}

Template BuildTemplate(ViewState& state) {
    frmLogin& dialog = *state.dialog;
    // Controls the person works with first, in tab order: that is the dialog's tab order.
    std::vector<Control*> ordered;
    for (Control* c : dialog.Controls())
        if (IsWindowed(*c)) ordered.push_back(c);
    std::stable_sort(ordered.begin(), ordered.end(), [](const Control* a, const Control* b) {
        if (a->TabStop != b->TabStop) return a->TabStop;
        return a->TabStop && a->TabIndex < b->TabIndex;
    });
    state.items = ordered;

    Template t;
    t.Dword(kDialogStyle);
    t.Dword(0);
    const size_t countAt = t.Size();
    for (int i = 0; i < 5; ++i) t.Word(0);  // item count, position and size: set later
    t.Word(0);                              // no menu
    t.Word(0);                              // the standard dialog class
    t.Text(dialog.Caption());
    t.Word(8);
    t.Text(u"MS Shell Dlg");

    for (Control* c : ordered) {
        const int id = state.IdOf(c);
        switch (c->Kind) {
            case ControlKind::Label: AddItem(t, *c, id, kStaticClass, SS_LEFT, c->Caption); break;
            case ControlKind::TextBox: {
                DWORD style = ES_LEFT | ES_AUTOHSCROLL;
                if (c->Masked) style |= ES_PASSWORD;
                if (c->Locked) style |= ES_READONLY;
                AddItem(t, *c, id, kEditClass, style, c->Text);
                break;
            }
            case ControlKind::Button:
                AddItem(t, *c, id, kButtonClass, c->Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, c->Caption);
                break;
            default: break;
        }
    }
    t.At(countAt) = static_cast<WORD>(ordered.size());
    return t;
}

class Win32LoginView final : public LoginView {
public:
    void ShowModal(frmLogin& dialog) override {
        ViewState state;
        state.dialog = &dialog;
        Template t = BuildTemplate(state);
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
