// The login dialog drawn with FLTK. The frmLogin model stays in charge: the window draws what the
// model says and forwards every key, click, focus change and edit to it.
#include "platform/posix/fltk/FltkLoginView.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include "login/frmLogin.h"
#include "login/LoginPicture.h"
#include "platform/posix/PipeSignalGuard.h"
#include "varnholt/String.h"

// Last: the X11 headers define macros such as None and Status.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Pixmap.H>
#include <FL/Fl_Secret_Input.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>

namespace varnholt::platform {
namespace {

constexpr double kTwipsPerPixel = 15.0;  // 96 dots per inch
constexpr Fl_Fontsize kFontPixels = 11;  // the dialog's 8.25 point font at 96 dots per inch
constexpr int kIsoLeftTab = 0xfe20;      // what Shift+Tab sends on many keyboard maps
constexpr Fl_Labeltype kLiteralLabel = FL_FREE_LABELTYPE;

// FLTK and its display are process-wide: one dialog at a time, whichever thread asks.
std::mutex gToolkitMutex;
// Atomic because Xlib's handlers below run for the host's own connections too, on any thread.
std::atomic<Display*> gDisplay{nullptr};
// Set when the display went away or FLTK gave up; from then on no window is tried again.
std::atomic<bool> gUnusable{false};
std::atomic<XIOErrorHandler> gPreviousIOErrorHandler{nullptr};
std::atomic<XErrorHandler> gPreviousErrorHandler{nullptr};

// What every entry point holds while it talks to the display: the toolkit to itself, and
// SIGPIPE held back so that a server dropping the connection fails a write, not the host.
struct ToolkitTurn {
    std::lock_guard<std::mutex> lock{gToolkitMutex};
    PipeSignalGuard quietPipe;
};

class ToolkitFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string Format(const char* format, va_list args) {
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    return buffer;
}

// FLTK's fatal and error hooks would end the process; a dialog that fails counts as closed.
[[noreturn]] __attribute__((format(printf, 1, 2))) void ThrowToolkitFailure(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = Format(format, args);
    va_end(args);
    throw ToolkitFailure(message);
}

// A library has no business writing to its host's standard error.
void IgnoreToolkitWarning(const char*, ...) {}

// Xlib ends the process after an I/O error unless the exit hook returns; ours does, and the
// modal loop notices gUnusable. Other connections of the host keep the handlers they had.
int OnIOError(Display* display) {
    if (display == gDisplay) {
        gUnusable = true;
        return 0;
    }
    const XIOErrorHandler previous = gPreviousIOErrorHandler;
    return previous ? previous(display) : 0;
}

void OnIOErrorExit(Display*, void*) {}

int OnProtocolError(Display* display, XErrorEvent* event) {
    if (display == gDisplay) return 0;  // at worst a window that is already gone
    const XErrorHandler previous = gPreviousErrorHandler;
    return previous ? previous(display, event) : 0;
}

// Captions are the client's texts: drawn as they are, without FLTK's "@symbol" markup ("&"
// still underlines the key that follows, as the platform's dialogs do).
void DrawLiteralLabel(const Fl_Label* label, int x, int y, int w, int h, Fl_Align align) {
    fl_font(label->font, label->size);
    fl_color(static_cast<Fl_Color>(label->color));
    fl_draw(label->value, x, y, w, h, align, label->image, 0);
}

void MeasureLiteralLabel(const Fl_Label* label, int& w, int& h) {
    fl_font(label->font, label->size);
    fl_measure(label->value, w, h, 0);
}

bool ConnectDisplay() {
    if (gUnusable) return false;
    if (!gDisplay) {
        // FLTK's own opening ends the process when there is no display: asking Xlib first
        // lets this say no instead.
        Display* display = XOpenDisplay(nullptr);
        if (!display) return false;
        gDisplay = display;
        gPreviousIOErrorHandler = XSetIOErrorHandler(OnIOError);
        gPreviousErrorHandler = XSetErrorHandler(OnProtocolError);
        XSetIOErrorExitHandler(display, OnIOErrorExit, nullptr);
        Fl::fatal = ThrowToolkitFailure;
        Fl::error = ThrowToolkitFailure;
        Fl::warning = IgnoreToolkitWarning;
        try {
            fl_open_display(display);
        } catch (const ToolkitFailure&) {
            gUnusable = true;
            return false;
        }
        Fl::background(0xF0, 0xF0, 0xF0);
        Fl::set_labeltype(kLiteralLabel, DrawLiteralLabel, MeasureLiteralLabel);
    }
    // A server that went away since the last dialog shows here, before anybody waits on it.
    XSync(gDisplay.load(), False);
    return !gUnusable;
}

int Pixels(int32_t twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

// Colours as the model gives them: 0x00BBGGRR, or a system colour with the top bit set.
Fl_Color ToFlColor(uint32_t value) {
    if (value & 0x80000000u) {
        switch (value & 0xFFu) {
            case 0x05: return FL_BACKGROUND2_COLOR;  // window background
            case 0x08:
            case 0x12: return FL_FOREGROUND_COLOR;  // window text, button text
            default: return FL_BACKGROUND_COLOR;    // button face and other surfaces
        }
    }
    return fl_rgb_color(static_cast<uchar>(value & 0xFF), static_cast<uchar>((value >> 8) & 0xFF),
                        static_cast<uchar>((value >> 16) & 0xFF));
}

// The model counts UTF-16 units, FLTK bytes of UTF-8.
int Utf8Offset(const String& text, int64_t units) {
    size_t n = static_cast<size_t>(std::clamp<int64_t>(units, 0, static_cast<int64_t>(text.size())));
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;  // not inside a pair
    return static_cast<int>(ToUtf8(StringView(text).substr(0, n)).size());
}

int32_t Utf16Offset(const Fl_Input& input, int bytes) {
    return static_cast<int32_t>(FromUtf8(std::string_view(input.value(), static_cast<size_t>(bytes))).size());
}

// Absolute position of a control in twips: positions are relative to the container.
int32_t AbsoluteLeft(const Control& control) {
    return control.Left + (control.Container ? AbsoluteLeft(*control.Container) : 0);
}

int32_t AbsoluteTop(const Control& control) {
    return control.Top + (control.Container ? AbsoluteTop(*control.Container) : 0);
}

// What the window hears from the focusable widgets it made.
class FocusSink {
public:
    virtual void FocusArrived(Control& control) = 0;

protected:
    ~FocusSink() = default;
};

template <class Base>
class TextBoxWidget : public Base {
public:
    TextBoxWidget(int x, int y, int w, int h, Control& control, FocusSink& sink)
        : Base(x, y, w, h),
          control_(control),
          sink_(sink) {}

    int handle(int event) override {
        const int used = Base::handle(event);
        if (event == FL_FOCUS && used) sink_.FocusArrived(control_);
        return used;
    }

private:
    Control& control_;
    FocusSink& sink_;
};

class ButtonWidget : public Fl_Button {
public:
    ButtonWidget(int x, int y, int w, int h, Control& control, FocusSink& sink)
        : Fl_Button(x, y, w, h),
          control_(control),
          sink_(sink) {}

    int handle(int event) override {
        const int used = Fl_Button::handle(event);
        if (event == FL_FOCUS && used) sink_.FocusArrived(control_);
        return used;
    }

    void draw() override {
        Fl_Button::draw();
        // The default button wears a dark outline, as Enter presses it.
        if (control_.Default) {
            fl_color(active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
            fl_rect(x(), y(), w(), h());
        }
    }

private:
    Control& control_;
    FocusSink& sink_;
};

class LabelWidget : public Fl_Box {
public:
    LabelWidget(int x, int y, int w, int h) : Fl_Box(x, y, w, h) { set_flag(SHORTCUT_LABEL); }
};

class LineWidget : public Fl_Widget {
public:
    LineWidget(int x1, int y1, int x2, int y2)
        : Fl_Widget(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1),
          x1_(x1),
          y1_(y1),
          x2_(x2),
          y2_(y2) {}

    void draw() override {
        fl_color(color());
        fl_line(x1_, y1_, x2_, y2_);
    }

private:
    int x1_, y1_, x2_, y2_;
};

class LoginWindow : public Fl_Double_Window, private FocusSink {
public:
    explicit LoginWindow(frmLogin& dialog);
    ~LoginWindow() override {
        // The children go before the picture they show.
        hide();
        clear();
    }
    LoginWindow(const LoginWindow&) = delete;
    LoginWindow& operator=(const LoginWindow&) = delete;

    // Shows the window and runs FLTK's loop until the model is hidden, the window is closed or
    // the display goes away.
    void RunModal();
    // An error the model raised while the window ran; it ended the loop.
    std::exception_ptr Failure() const { return failure_; }

    int handle(int event) override;

private:
    Fl_Widget* Build(Control& control);
    void FocusArrived(Control& control) override;
    void ShowModelFocus();
    void ShowSelection(const Control& control);
    void SetWindowManagerHints();
    template <class Action>
    void Forward(Action action);

    static void OnButton(Fl_Widget* widget, void* window);
    static void OnTextChanged(Fl_Widget* widget, void* window);
    static void OnClose(Fl_Widget* widget, void* window);

    frmLogin& dialog_;
    Fl_Pixmap picture_;
    std::map<const Control*, Fl_Widget*> widgets_;
    std::map<const Control*, Fl_Input*> inputs_;
    std::map<const Fl_Widget*, Control*> controls_;
    std::exception_ptr failure_;
};

LoginWindow::LoginWindow(frmLogin& dialog)
    : Fl_Double_Window(Pixels(dialog.ClientWidth()), Pixels(dialog.ClientHeight())),
      dialog_(dialog),
      picture_(kLoginPictureXpm) {
    // Each widget goes into the group of its container by hand.
    Fl_Group::current(nullptr);
    color(ToFlColor(kColorButtonFace));
    for (Control* control : dialog_.Controls()) {
        Fl_Widget* widget = Build(*control);
        Fl_Group* parent = control->Container ? widgets_.at(control->Container)->as_group() : nullptr;
        (parent ? parent : this)->add(widget);
        if (!control->Visible) widget->hide();
        widgets_[control] = widget;
        controls_[widget] = control;
    }
    size_range(w(), h(), w(), h());
    set_modal();
    callback(OnClose, this);
    xclass("Varnholt");
    copy_label(ToUtf8(dialog_.Caption()).c_str());
}

Fl_Widget* LoginWindow::Build(Control& control) {
    const int x = Pixels(AbsoluteLeft(control)), y = Pixels(AbsoluteTop(control));
    const int w = Pixels(control.Width), h = Pixels(control.Height);
    switch (control.Kind) {
        case ControlKind::Panel: {
            auto* panel = new Fl_Group(x, y, w, h);
            panel->end();
            panel->box(FL_FLAT_BOX);
            panel->color(ToFlColor(control.BackColor));
            panel->clip_children(1);
            return panel;
        }
        case ControlKind::Picture: {
            auto* picture = new Fl_Box(FL_NO_BOX, x, y, w, h, nullptr);
            picture->image(&picture_);
            picture->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);
            return picture;
        }
        case ControlKind::Line: {
            auto* line = new LineWidget(x, y, Pixels(AbsoluteLeft(control) + control.Width),
                                        Pixels(AbsoluteTop(control) + control.Height));
            line->color(ToFlColor(control.LineColor));
            return line;
        }
        case ControlKind::Label: {
            auto* label = new LabelWidget(x, y, w, h);
            label->box(control.Transparent ? FL_NO_BOX : FL_FLAT_BOX);
            label->color(ToFlColor(control.BackColor));
            label->copy_label(ToUtf8(control.Caption).c_str());
            label->labeltype(kLiteralLabel);
            label->labelfont(control.Bold ? FL_HELVETICA_BOLD : FL_HELVETICA);
            label->labelsize(kFontPixels);
            // Only a label with room for several lines wraps; a longer single line runs on
            // rather than putting its end under the next control.
            const bool severalLines = h >= 2 * (kFontPixels + 2);
            label->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT | (severalLines ? FL_ALIGN_WRAP : 0));
            if (!control.Enabled) label->deactivate();
            return label;
        }
        case ControlKind::TextBox: {
            Fl_Input* box;
            if (control.Masked)
                box = new TextBoxWidget<Fl_Secret_Input>(x, y, w, h, control, *this);
            else
                box = new TextBoxWidget<Fl_Input>(x, y, w, h, control, *this);
            box->box(FL_DOWN_BOX);
            // An editable box has the window colour; the display-only one keeps its own, and a
            // read-only one wears the button face, as the platform's read-only boxes do.
            if (!control.Enabled)
                box->color(ToFlColor(control.BackColor));
            else
                box->color(control.Locked ? FL_BACKGROUND_COLOR : FL_BACKGROUND2_COLOR);
            box->textfont(control.Bold ? FL_HELVETICA_BOLD : FL_HELVETICA);
            box->textsize(kFontPixels);
            box->value(ToUtf8(control.Text).c_str());
            box->readonly(control.Locked ? 1 : 0);
            box->when(FL_WHEN_CHANGED);
            box->callback(OnTextChanged, this);
            if (!control.CanTakeFocus()) box->clear_visible_focus();
            if (!control.Enabled) box->deactivate();
            inputs_[&control] = box;
            return box;
        }
        case ControlKind::Button: {
            auto* button = new ButtonWidget(x, y, w, h, control, *this);
            button->copy_label(ToUtf8(control.Caption).c_str());
            button->labeltype(kLiteralLabel);
            button->labelfont(control.Bold ? FL_HELVETICA_BOLD : FL_HELVETICA);
            button->labelsize(kFontPixels);
            button->callback(OnButton, this);
            if (!control.CanTakeFocus()) button->clear_visible_focus();
            if (!control.Enabled) button->deactivate();
            return button;
        }
    }
    return new Fl_Box(x, y, w, h);
}

void LoginWindow::RunModal() {
    position(Fl::x() + (Fl::w() - w()) / 2, Fl::y() + (Fl::h() - h()) / 2);
    show();
    SetWindowManagerHints();
    ShowModelFocus();
    while (shown() && !gUnusable) Fl::wait();
}

int LoginWindow::handle(int event) {
    // Keys no widget used: the model decides where Tab goes and what Enter and Esc press.
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
        const int key = Fl::event_key();
        if ((key == FL_Tab || key == kIsoLeftTab) && !Fl::event_state(FL_CTRL | FL_ALT | FL_META)) {
            const bool back = key == kIsoLeftTab || Fl::event_state(FL_SHIFT);
            Forward([&] { back ? dialog_.FocusPrevious() : dialog_.FocusNext(); });
            ShowModelFocus();
            return 1;
        }
        if (key == FL_Enter || key == FL_KP_Enter) {
            Forward([&] { dialog_.PressEnter(); });
            return 1;
        }
        if (key == FL_Escape) {
            Forward([&] { dialog_.PressEscape(); });
            return 1;
        }
    }
    return Fl_Double_Window::handle(event);
}

template <class Action>
void LoginWindow::Forward(Action action) {
    if (failure_) return;
    try {
        action();
    } catch (...) {
        // Never through FLTK's frames: kept until the loop has ended.
        failure_ = std::current_exception();
    }
    if (failure_ || dialog_.Hidden()) hide();
}

void LoginWindow::FocusArrived(Control& control) {
    const bool arriving = dialog_.ActiveControl() != &control;
    Forward([&] { dialog_.SetFocus(control); });
    // The model's GotFocus may have selected the text; the widget shows what it chose.
    if (arriving && dialog_.ActiveControl() == &control) ShowSelection(control);
}

void LoginWindow::ShowModelFocus() {
    const Control* control = dialog_.ActiveControl();
    if (!control) return;
    const auto found = widgets_.find(control);
    if (found == widgets_.end()) return;
    found->second->take_focus();
    ShowSelection(*control);
}

void LoginWindow::ShowSelection(const Control& control) {
    const auto found = inputs_.find(&control);
    if (found == inputs_.end()) return;
    const int start = Utf8Offset(control.Text, control.SelStart);
    const int end = Utf8Offset(control.Text, int64_t{control.SelStart} + control.SelLength);
    found->second->position(end, start);  // the caret at the end, as after selecting all
}

void LoginWindow::SetWindowManagerHints() {
    // A fixed dialog: moved and closed, never resized, minimised or maximised. size_range
    // already gave the window manager min = max.
    Display* display = gDisplay;
    const Window xid = fl_xid(this);
    const Atom motifHints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    enum : long { kFunctions = 1, kDecorations = 2, kMove = 4, kClose = 32, kBorder = 2, kTitle = 8, kMenu = 16 };
    long hints[5] = {kFunctions | kDecorations, kMove | kClose, kBorder | kTitle | kMenu, 0, 0};
    XChangeProperty(display, xid, motifHints, motifHints, 32, PropModeReplace, reinterpret_cast<unsigned char*>(hints),
                    5);
    const Atom windowType = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    long dialogType = static_cast<long>(XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False));
    XChangeProperty(display, xid, windowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&dialogType), 1);
}

void LoginWindow::OnButton(Fl_Widget* widget, void* window) {
    auto* self = static_cast<LoginWindow*>(window);
    const Control* control = self->controls_.at(widget);
    self->Forward([&] {
        if (control == &self->dialog_.cmdOK())
            self->dialog_.cmdOK_Click();
        else if (control == &self->dialog_.cmdCancel())
            self->dialog_.cmdCancel_Click();
    });
}

void LoginWindow::OnTextChanged(Fl_Widget* widget, void* window) {
    auto* self = static_cast<LoginWindow*>(window);
    auto* box = static_cast<Fl_Input*>(widget);
    Control* control = self->controls_.at(widget);
    if (control->Locked) return;
    self->Forward([&] {
        control->Text = FromUtf8(std::string_view(box->value(), static_cast<size_t>(box->size())));
        const int from = std::min(box->position(), box->mark()), to = std::max(box->position(), box->mark());
        control->SelStart = Utf16Offset(*box, from);
        control->SelLength = Utf16Offset(*box, to) - control->SelStart;
    });
}

void LoginWindow::OnClose(Fl_Widget*, void* window) {
    auto* self = static_cast<LoginWindow*>(window);
    self->Forward([&] { self->dialog_.Close(); });
}

class FltkLoginView : public LoginView {
public:
    void ShowModal(frmLogin& dialog) override {
        const ToolkitTurn turn;
        if (!ConnectDisplay()) return;  // closed unanswered
        std::exception_ptr failure;
        try {
            LoginWindow window(dialog);
            window.RunModal();
            failure = window.Failure();
        } catch (const ToolkitFailure&) {
            gUnusable = true;  // this dialog counts as closed; later ones use the terminal
        }
        // The host may not call into FLTK again for a long time: the window goes now.
        if (!gUnusable) XFlush(gDisplay.load());
        if (failure) std::rethrow_exception(failure);
    }
};

}  // namespace

std::shared_ptr<LoginView> OpenFltkLoginView() {
    const ToolkitTurn turn;
    if (!ConnectDisplay()) return nullptr;
    return std::make_shared<FltkLoginView>();
}

}  // namespace varnholt::platform
