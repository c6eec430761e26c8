// A small assertion harness for the platform conformance suite, which is built
// both natively and with MinGW (where no test framework is at hand).
//
//   Section("device sets");            // names the group of the checks that follow
//   CHECK(set != INVALID_HANDLE_VALUE);
//   CHECK_EQ(ERROR_NO_MORE_ITEMS, plat::GetLastError());
//   return Finish();                   // "N passed, N failed"; non-zero on a failure
//
// A failed check prints its file:line, its section, the expression and, for
// CHECK_EQ, both values; the run goes on so that one run shows every fault.
#pragma once

#include <string>
#include <type_traits>

namespace conformance {

void Section(const char* name);
// Records one check; returns `ok` so that a caller can stop a dependent step.
bool Record(bool ok, const char* file, int line, const std::string& what);
// Prints the closing line; the process's exit code (0 only when nothing failed
// and something was checked).
int Finish();
// A note on the output that is not a check (what this run is, what it leaves out).
void Note(const std::string& text);

// Values as a failure message shows them: numbers in decimal and hexadecimal
// (error codes are easier to recognise so), text quoted with its bytes escaped.
std::string Describe(long long value);
std::string Describe(const std::string& value);

template <typename A, typename B>
bool RecordEq(const A& expected, const B& actual, const char* file, int line, const char* expectedText,
              const char* actualText) {
    bool same;
    std::string shown;
    if constexpr (std::is_integral_v<A> && std::is_integral_v<B>) {
        const long long e = static_cast<long long>(expected), a = static_cast<long long>(actual);
        same = e == a;
        if (!same) shown = Describe(e) + ", got " + Describe(a);
    } else {
        const std::string e(expected), a(actual);
        same = e == a;
        if (!same) shown = Describe(e) + ", got " + Describe(a);
    }
    std::string what = std::string(actualText) + " == " + expectedText;
    if (!same) what += ": expected " + shown;
    return Record(same, file, line, what);
}

}  // namespace conformance

#define CHECK(condition) ::conformance::Record(static_cast<bool>(condition), __FILE__, __LINE__, #condition)
#define CHECK_EQ(expected, actual) \
    ::conformance::RecordEq((expected), (actual), __FILE__, __LINE__, #expected, #actual)
