#ifndef COREKIT_ASSERT_H
#define COREKIT_ASSERT_H

// The engine's fatal assertion report. It replaces the standard assert: the macro is always
// active (whatever NDEBUG says) and takes an optional message:
//   assert(condition)            assert(condition, message)
// A failed assertion prints the three-language report with the source position, the program
// version, the condition's text and the message, then ends the process with exit code 1. The
// lines of the thread's context (setAssertionContext) follow; a recoverable context makes the
// report throw AssertionFailure instead of ending the process.
// Include this header after the standard headers: a later <assert.h> would put the standard
// macro back.

#include <cassert>
#include <string>

/// Reports a failed assertion and ends the process with exit code 1. `condition` and `message`
/// may be null (not shown).
[[noreturn]] void showAssertionReport(const char* date, const char* file, const char* condition,
                                      int line, const char* time, const char* message);
[[noreturn]] void showAssertionReport(const char* date, const char* file, const char* condition,
                                      int line, const char* time, const std::string& message);

/// The full text of an assertion report, as shown by showAssertionReport.
std::string buildAssertionReport(const char* date, const char* file, const char* condition,
                                 int line, const char* time, const char* message);

/// Called with the report's text (context lines included) in place of the report and the end
/// of the process when set (null: the usual report). A hook that returns still leaves through
/// the usual report, or the AssertionFailure of a recoverable context; the
/// fuzzing harnesses install one that unwinds to the end of the current input instead, so that
/// a fatal report on a hostile file counts as a clean end and not as a crash.
using AssertionHook = void (*)(const std::string& report);
void setAssertionHook(AssertionHook hook);

/// What the program is doing on this thread when a report is raised, told by whoever runs code
/// that is not the engine's own (the script host while an engine function runs for the
/// script). `describe(data)` gives lines (each ending with "\n") that follow the report's text.
/// A recoverable context turns the report into an AssertionFailure thrown from the report's
/// call, to be caught where that code called the engine, in place of the end of the process.
struct AssertionContext {
  std::string (*describe)(const void* data) = nullptr;
  const void* data = nullptr;
  bool isRecoverable = false;
};
/// Sets this thread's context (a default one: none) and returns the one it replaces. Other
/// threads keep theirs: a worker's report never reads the main thread's context.
AssertionContext setAssertionContext(const AssertionContext& context);

/// Non-fatal problem report: the console report, then "ERROR : " and the text on standard error.
void showProblem(const std::string& text);

/// The condition part of "condition, message" as written in the source: the text before the
/// first comma outside brackets and quotes.
std::string assertionConditionText(const char* argumentsText);

/// The program version shown in reports; nothing changes it.
extern const char* const programVersion;

#undef assert
// The condition's text is taken before macro expansion (so "p != NULL" reads as written); the
// two-argument form cuts the message off that text only when a report is shown.
#define COREKIT_ASSERT_1(text, condition)                                                         \
  ((condition) ? (void)0                                                                          \
               : showAssertionReport(__DATE__, __FILE__, text, __LINE__, __TIME__,                \
                                     (const char*)nullptr))
#define COREKIT_ASSERT_2(text, condition, message)                                                \
  ((condition) ? (void)0                                                                          \
               : showAssertionReport(__DATE__, __FILE__, assertionConditionText(text).c_str(),    \
                                     __LINE__, __TIME__, message))
#define COREKIT_ASSERT_PICK(_1, _2, NAME, ...) NAME
#define assert(...)                                                                               \
  COREKIT_ASSERT_PICK(__VA_ARGS__, COREKIT_ASSERT_2, COREKIT_ASSERT_1, )(#__VA_ARGS__, __VA_ARGS__)

/// The variant without a condition text: the report's whole content is the message.
#define assertNoCondition(condition, message)                                                     \
  ((condition) ? (void)0                                                                          \
               : showAssertionReport(__DATE__, __FILE__, (const char*)nullptr, __LINE__,          \
                                     __TIME__, message))

#endif
