#pragma once

// The three numbers that steer the tools: what the window's number boxes and tolvane-cli's
// options offer, and what both start from. The window and tolvane-cli take them from here;
// tst_parameters holds the manual page, the user guide and the README to them.

namespace tolvane::parameters {

struct Parameter
{
    const char *label; // beside its number box in the window
    const char *option; // tolvane-cli's option
    char metavariable; // the value in tolvane-cli's usage lines, as in "--padding P"
    int defaultValue;
    int minimum;
    int maximum;
    const char *help; // its line in tolvane-cli's --help, before the range and default
};

// In the window's order, left to right.
inline constexpr Parameter table[] = {
    {"Width Threshold", "--width-threshold", 'T', 4, 1, 99,
        "a wire crosses a column in at most T-1 rows"},
    {"Length Threshold", "--length-threshold", 'L', 30, 1, 999, "a wire spans more than L columns"},
    {"Wire padding", "--padding", 'P', 0, 0, 99,
        "Wire padding: how far every marked stretch is widened first"},
};

// Detection: a wire is thinner than this where it crosses a column of pixels.
inline constexpr const Parameter &widthThreshold = table[0];
// Detection: a wire spans more columns than this.
inline constexpr const Parameter &lengthThreshold = table[1];
// Removal: how far every marked stretch of a column is widened before it is filled.
inline constexpr const Parameter &wirePadding = table[2];

// The defaults suit photos up to about 1600 pixels on their long side; on larger ones wires
// are as many times thicker and longer. The value of `parameter` in proportion to the long
// side, never below its default nor above its maximum.
constexpr int suggestedValue(const Parameter &parameter, int longSide)
{
    constexpr int referenceSide = 1600;
    const long long scaled
        = (static_cast<long long>(parameter.defaultValue) * longSide + referenceSide / 2)
        / referenceSide;
    return static_cast<int>(scaled < parameter.defaultValue ? parameter.defaultValue
            : scaled > parameter.maximum                    ? parameter.maximum
                                                            : scaled);
}

// The precise detection's own number, shown beside its choice in the window and taken by
// tolvane-cli with --detector precise: a wire's linked curves span at least this many pixels.
// (Its widest wire is the width threshold, in pixels across the wire.)
inline constexpr Parameter wireLength = {"Wire length", "--wire-length", 'W', 200, 10, 9999,
    "precise detection: a wire is at least W pixels long"};

} // namespace tolvane::parameters
