#include <cstdio>
#include <cstdlib>
#include <string>

#include "Platform.h"
#include "AssertionFailure.h"
#include "Assert.h"

const char* const programVersion = "(unknown)";

static AssertionHook assertionHook = nullptr;

void setAssertionHook(AssertionHook hook) { assertionHook = hook; }

// Per thread: the script host sets it on the main thread while the region build worker may
// report on its own.
static thread_local AssertionContext assertionContext;

AssertionContext setAssertionContext(const AssertionContext& context) {
  const AssertionContext previous = assertionContext;
  assertionContext = context;
  return previous;
}

static const char* const reportPreamble =
    "The program aborted unexpectedly. Please send these informations to the developing team for "
    "debug:\n\n"
    "Le programme a quitte inopinement. Merci d'envoyer les informations suivantes a l'equipe de "
    "developpement pour corriger le bug :\n\n"
    "El programa se interrumpe inesperadamente. Por favor enviase estas informaciones a el equipo "
    "de programacion para el depuracion del programa :\n\n";

std::string buildAssertionReport(const char* date, const char* file, const char* condition,
                                 int line, const char* time, const char* message) {
  std::string text = reportPreamble;
  text += "\n__DATE__ ";
  text += date;
  text += "\n__FILE__ ";
  text += file;
  text += "\n__LINE__ ";
  text += std::to_string(line);
  text += "\n__TIME__ ";
  text += time;
  text += "\nProgram version: ";
  text += programVersion;
  if (condition != nullptr) {
    text += "\nCondition: ";
    text += condition;
  }
  if (message != nullptr) {
    text += "\nMessage: ";
    text += message;
  }
  text += "\n";
  return text;
}

void showAssertionReport(const char* date, const char* file, const char* condition, int line,
                         const char* time, const char* message) {
  std::string report = buildAssertionReport(date, file, condition, line, time, message);
  // The context is taken off while it describes itself: a report raised in there is plain.
  const AssertionContext context = setAssertionContext(AssertionContext());
  if (context.describe != nullptr) report += context.describe(context.data);
  setAssertionContext(context);
  if (assertionHook != nullptr) assertionHook(report);
  if (context.isRecoverable) throw AssertionFailure(report);
  showProblem(report);
  std::fflush(stdout);
  std::_Exit(1);
}

void showAssertionReport(const char* date, const char* file, const char* condition, int line,
                         const char* time, const std::string& message) {
  showAssertionReport(date, file, condition, line, time, message.c_str());
}

std::string assertionConditionText(const char* argumentsText) {
  int depth = 0;
  char quote = 0;
  for (const char* c = argumentsText; *c != '\0'; ++c) {
    if (quote != 0) {
      if (*c == '\\' && c[1] != '\0')
        ++c;
      else if (*c == quote)
        quote = 0;
    } else if (*c == '"' || *c == '\'') {
      quote = *c;
    } else if (*c == '(' || *c == '[' || *c == '{') {
      ++depth;
    } else if (*c == ')' || *c == ']' || *c == '}') {
      --depth;
    } else if (*c == ',' && depth == 0) {
      return std::string(argumentsText, c);
    }
  }
  return argumentsText;
}

void showProblem(const std::string& text) {
  // On the console the text comes first, so that the user reads it before being asked to go on.
  std::fprintf(stderr, "ERROR : %s\n", text.c_str());
  std::fflush(stderr);
  Platform::showConsoleReport("Problem", text);
}
