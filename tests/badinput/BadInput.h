#pragma once
// Bad-input tables: each row names an input, calls one member with it and states what the
// member must do, return a value (shown as text) or raise an exact error.
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "varnholt/Variant.h"

namespace varnholt::test {

struct Outcome {
    bool raises = false;
    std::string value;  // what the call returned, as the row shows it
    int32_t number = 0;
    std::string source, description;
};

inline Outcome Returns(std::string value) { return {false, std::move(value), 0, {}, {}}; }
inline Outcome Raises(int32_t number, std::string source, std::string description) {
    return {true, {}, number, std::move(source), std::move(description)};
}
inline Outcome RaisesRuntime(int32_t number) { return Raises(number, "Varnholt", U8(RuntimeErrorText(number))); }
inline std::string LayerError(int32_t status) {
    return "An error occurred in the Pervasive.SQL layer. The error was [" + std::to_string(status) + "]";
}

struct Row {
    std::string input;
    std::function<std::string()> call;
    Outcome expected;
};

// A row's call for a member that returns nothing: "done" when it returns.
inline std::function<std::string()> Runs(std::function<void()> call) {
    return [call] { return call(), std::string("done"); };
}

// Runs every row, reporting each mismatch under the row's input.
void CheckRows(const std::vector<Row>& rows);

// Texts for the rows.
inline String Huge(char16_t c = u'x') { return String(100000, c); }  // past any buffer and 16-bit limit
inline String WithNul(const std::string& before, const std::string& after) { return S(before) + u'\0' + S(after); }
inline std::string Bool(bool value) { return value ? "True" : "False"; }

// Literals of two dimensions, (1 To 34, 1 To 2).
SafeArray<String> TwoDimensional();

}  // namespace varnholt::test
