#pragma once
// The login dialog as logic only: its fields, controls, loading, modes, activation and buttons.
// A view (platform/LoginDialog.h) draws this model and forwards what the person does; nothing
// here knows a windowing toolkit.
#include <array>
#include <cstdint>
#include <vector>

#include "varnholt/SafeArray.h"
#include "varnholt/String.h"

namespace varnholt {

enum class ControlKind { Panel, Picture, Line, Label, TextBox, Button };

// Colour values as the design gives them (0x00BBGGRR); one with the top bit set names a system
// colour that the view maps to the platform's own.
inline constexpr uint32_t kColorWhite = 0x00FFFFFF;
inline constexpr uint32_t kColorLightGrey = 0x00C0C0C0;
inline constexpr uint32_t kColorButtonFace = 0x8000000F;

// One control of the dialog. Positions are twips relative to the container (the client area
// when Container is null); a line runs from (Left, Top) to (Left + Width, Top + Height).
struct Control {
    const char* Name = "";
    ControlKind Kind = ControlKind::Label;
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    const Control* Container = nullptr;

    String Caption;  // labels and buttons
    String Text;     // text boxes; writing it here is the program's write, never refused
    bool Visible = true;
    bool Enabled = true;
    bool Locked = false;  // read-only: still takes the focus and a selection, refuses typing
    bool Masked = false;  // shows one '*' per character
    bool Bold = false;
    bool Transparent = false;
    bool Default = false;  // the button Enter presses
    bool Cancel = false;   // the button Esc presses
    uint32_t BackColor = kColorButtonFace;
    uint32_t LineColor = 0;

    int32_t SelStart = 0;  // text boxes: selection in characters
    int32_t SelLength = 0;
    int32_t TabIndex = 0;
    bool TabStop = false;

    // What the box shows: the text, or as many '*' when masked.
    String DisplayText() const;
    bool CanTakeFocus() const { return TabStop && Visible && Enabled; }
};

class frmLogin {
public:
    // The client area as designed, in twips, and the dialog font.
    static constexpr int32_t kDesignClientWidth = 5685;
    static constexpr int32_t kDesignClientHeight = 3345;
    static constexpr char kFontName[] = "MS Sans Serif";
    static constexpr double kFontSize = 8.25;
    static constexpr int32_t kPictureWidthPixels = 77;
    static constexpr int32_t kPictureHeightPixels = 72;

    frmLogin();
    frmLogin(const frmLogin&) = delete;
    frmLogin& operator=(const frmLogin&) = delete;

    // The outcome, read after the modal loop.
    bool Cancelled = false;
    String Pswd;
    String userName;

    void SetLiterals(const SafeArray<String>& value);
    SafeArray<String> GetLiterals() const;
    void SetServerName(const String& value);
    const String& GetServerName() const { return serverName_; }
    // Adapts the user-name row to an eLoginModes value; other values change nothing.
    void Mode(int32_t value);

    // Window properties and controls: the first use of any of them loads the dialog, so a
    // missing Literals subscript raises error 9 out of that use.
    String Caption();
    // A title set here is the one the person sees: activation keeps it.
    void SetCaption(const String& value);
    int32_t ClientWidth();
    int32_t ClientHeight();
    Control& Frame1();
    Control& Picture1();
    Control& Line1();
    Control& lblInfo(int32_t index);  // 0 or 1; error 9 otherwise
    Control& lblServer();
    Control& txtServer();
    Control& lblUserName();
    Control& txtUserName();
    Control& lblPassword();
    Control& txtPassword();
    Control& cmdOK();
    Control& cmdCancel();
    // Every control, containers before what they hold, in drawing order.
    std::vector<Control*> Controls();

    // Modal showing. Show loads, makes the dialog visible, activates it and puts the focus on
    // the first control in tab order; the modal loop runs while Visible() holds.
    void Show();
    bool Visible() const { return visible_; }
    bool Hidden() const { return !visible_; }
    void Hide() { visible_ = false; }
    // The window's close command: ends the modal loop with Cancelled as loading left it.
    void Close() { Hide(); }

    // Events, forwarded by views.
    void Form_Activate();
    void cmdOK_Click();
    void cmdCancel_Click();
    void txtUserName_GotFocus();
    void txtPassword_GotFocus();

    // What a person does at the keyboard.
    Control* ActiveControl();
    // Moves the focus to control when it can take it, raising its GotFocus.
    bool SetFocus(Control& control);
    void FocusNext();      // Tab
    void FocusPrevious();  // Shift+Tab
    // Replaces the selection of the focused text box by text; false (and nothing changes) when
    // the focus is not on an editable box.
    bool TypeText(const String& text);
    void PressEnter();   // the focused button, else the default button
    void PressEscape();  // the cancel button

private:
    void EnsureLoaded();
    Control& Loaded(Control& control);
    void Form_Load();
    const String& Literal(int32_t index) const;
    static void CoverText(Control& txtX) noexcept;
    void MoveFocus(int step);

    SafeArray<String> literals_;
    String serverName_;
    String caption_;
    bool captionGiven_ = false;
    bool loaded_ = false;
    bool visible_ = false;
    int32_t clientWidth_ = kDesignClientWidth;
    int32_t clientHeight_ = kDesignClientHeight;
    Control* focus_ = nullptr;

    Control frame1_, picture1_, line1_;
    std::array<Control, 2> lblInfo_;
    Control lblServer_, txtServer_, lblUserName_, txtUserName_, lblPassword_, txtPassword_, cmdOK_, cmdCancel_;
};

}  // namespace varnholt
