#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "BasicVector.h"
#include "FileManager.h"
#include "MathManager.h"
#include "TempDir.h"
#include "Thread.h"
#include "Utils.h"
#include "AssertionFailure.h"
#include "Assert.h"

// ---- Component-wise vector comparisons and text form ----

TEST(BasicVectorTest, ComparisonsAreComponentWiseNotATotalOrder) {
  const Int3 zero(0, 0, 0);
  EXPECT_TRUE(zero <= zero);
  EXPECT_TRUE(zero >= zero);
  EXPECT_FALSE(zero < zero);
  EXPECT_FALSE(zero > zero);
  EXPECT_FALSE(Int3(-1, 5, 5) >= zero);  // two components pass, one fails
  const Int2 a(0, 5), b(5, 0);
  EXPECT_FALSE(a < b);
  EXPECT_FALSE(a <= b);
  EXPECT_FALSE(a > b);
  EXPECT_FALSE(a >= b);
  EXPECT_FALSE(Float3(0.5f, 1.0f, 0.2f) < Float3(1.f, 1.f, 1.f));
}

TEST(BasicVectorTest, IndexInsideTableExactlyWhenWithinBounds) {
  const Int3 size(4, 2, 3);
  int inside = 0;
  for (int x = -1; x <= 4; ++x)
    for (int y = -1; y <= 2; ++y)
      for (int z = -1; z <= 3; ++z) {
        const Int3 i(x, y, z);
        const bool expected = x >= 0 && x < 4 && y >= 0 && y < 2 && z >= 0 && z < 3;
        EXPECT_EQ(expected, i >= Int3(0, 0, 0) && i < size);
        inside += expected;
      }
  EXPECT_EQ(4 * 2 * 3, inside);
}

TEST(BasicVectorTest, ArithmeticAndTextForm) {
  const Int3 v = Int3(1, 2, 3) + Int3(4, 5, 6) - Int3(1, 1, 1);
  EXPECT_EQ(Int3(4, 6, 8), v);
  EXPECT_EQ(Int3(2, 3, 4), v / 2);
  std::ostringstream text;
  text << Int3(1, 2, 3);
  EXPECT_EQ("BasicVector<3,?(sizeof=4)> (1;2;3;)", text.str());
  std::ostringstream floats;
  floats << Float3(0.5f, -2.f, 10.25f);
  EXPECT_EQ("BasicVector<3,?(sizeof=4)> (0.5;-2;10.25;)", floats.str());
  const Int2 size(640, 480);
  EXPECT_EQ(640, size.width());
  EXPECT_EQ(480, size.height());
}

// ---- Angle normalisation ----

TEST(MathManagerTest, NormalisesIntoHalfOpenRange) {
  EXPECT_NEAR(-M_PI, MathManager::normalizeAngleRadians(static_cast<float>(M_PI)), 1e-6);
  EXPECT_NEAR(-M_PI, MathManager::normalizeAngleRadians(static_cast<float>(3 * M_PI)), 1e-5);
  EXPECT_FLOAT_EQ(-180.f, MathManager::normalizeAngleDegrees(540.f));
  EXPECT_FLOAT_EQ(-180.f, MathManager::normalizeAngleDegrees(-180.f));
  EXPECT_FLOAT_EQ(179.5f, MathManager::normalizeAngleDegrees(179.5f));
  EXPECT_FLOAT_EQ(90.f, MathManager::normalizeAngleDegrees(-270.f));
  EXPECT_FLOAT_EQ(0.f, MathManager::normalizeAngleDegrees(-540.f));  // lands on +180: out of range
}

TEST(MathManagerTest, NanAndHugeAnglesStayDefined) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FLOAT_EQ(0.f, MathManager::normalizeAngleDegrees(nan));
  const float huge = MathManager::normalizeAngleDegrees(3.0e38f);
  EXPECT_TRUE(huge >= -180.f && huge < 180.f);
  const float hugeNegative = MathManager::normalizeAngleRadians(-3.0e38f);
  EXPECT_TRUE(hugeNegative >= -M_PI && hugeNegative < M_PI);
}

TEST(MathManagerDeathTest, InfiniteAngleIsFatal) {
  EXPECT_EXIT(MathManager::normalizeAngleDegrees(std::numeric_limits<float>::infinity()),
              testing::ExitedWithCode(1),
              "Condition: angleInDegree != std::numeric_limits< float >::infinity\\(\\) && "
              "angleInDegree != -std::numeric_limits< float >::infinity\\(\\)");
  EXPECT_EXIT(MathManager::normalizeAngleRadians(-std::numeric_limits<float>::infinity()),
              testing::ExitedWithCode(1), "Condition: angleInRadians != ");
}

// ---- Assertion report ----

TEST(AssertionReportTest, ReportHoldsEveryFieldInOrder) {
  const std::string report = buildAssertionReport("Jan  1 2026", "src/x.cpp", "a == b", 42,
                                                  "12:00:00", "went wrong");
  const std::string expectedStart =
      "The program aborted unexpectedly. Please send these informations to the developing team "
      "for debug:\n\nLe programme a quitte inopinement. Merci d'envoyer les informations suivantes "
      "a l'equipe de developpement pour corriger le bug :\n\nEl programa se interrumpe "
      "inesperadamente. Por favor enviase estas informaciones a el equipo de programacion para el "
      "depuracion del programa :\n\n";
  EXPECT_EQ(expectedStart +
                "\n__DATE__ Jan  1 2026\n__FILE__ src/x.cpp\n__LINE__ 42\n__TIME__ 12:00:00"
                "\nProgram version: (unknown)\nCondition: a == b\nMessage: went wrong\n",
            report);
  const std::string bare = buildAssertionReport("d", "f", nullptr, 1, "t", nullptr);
  EXPECT_EQ(expectedStart + "\n__DATE__ d\n__FILE__ f\n__LINE__ 1\n__TIME__ t\nProgram version: (unknown)\n",
            bare);
}

TEST(AssertionReportDeathTest, FailedAssertionReportsAndExitsWithOne) {
  const int value = 3;
  EXPECT_EXIT(assert(value == 4, "value is wrong"), testing::ExitedWithCode(1),
              "ERROR : The program aborted unexpectedly(.|\n)*Condition: value == 4\nMessage: value "
              "is wrong\n");
  EXPECT_EXIT(assertNoCondition(value == 4, "only the message"), testing::ExitedWithCode(1),
              "Program version: \\(unknown\\)\nMessage: only the message");
  assert(value == 3);  // a passing assertion does nothing
}

namespace {

std::string describeTestContext(const void* data) {
  return std::string("While: ") + static_cast<const char*>(data) + "\n";
}

AssertionContext testContext(bool isRecoverable) {
  AssertionContext context;
  context.describe = describeTestContext;
  context.data = "running the test";
  context.isRecoverable = isRecoverable;
  return context;
}

}  // namespace

TEST(AssertionReportDeathTest, TheContextsLinesFollowTheReport) {
  setAssertionContext(testContext(false));
  EXPECT_EXIT(assert(1 == 2, "m"), testing::ExitedWithCode(1), "\nMessage: m\nWhile: running the test\n");
  setAssertionContext(AssertionContext());
}

TEST(AssertionReportTest, ARecoverableContextThrowsTheReportOnItsThreadOnly) {
  const AssertionContext previous = setAssertionContext(testContext(true));
  EXPECT_EQ(nullptr, previous.describe);
  try {
    assert(1 == 2, "m");
    ADD_FAILURE() << "the report returned";
  } catch (const AssertionFailure& failure) {
    const std::string report = failure.what();
    EXPECT_EQ(0u, report.find("The program aborted unexpectedly")) << report;
    EXPECT_NE(std::string::npos, report.find("\nCondition: 1 == 2\nMessage: m\nWhile: running the test\n")) << report;
    EXPECT_EQ(0u, failure.details().find("__DATE__ ")) << failure.details();
  }
  // Another thread has no context of its own.
  struct Seen {
    bool hasContext = true;
  } seen;
  Thread worker([](void* data) -> void* {
    const AssertionContext none = setAssertionContext(AssertionContext());
    static_cast<Seen*>(data)->hasContext = none.describe != nullptr;
    return nullptr;
  }, &seen);
  worker.join();
  EXPECT_FALSE(seen.hasContext);
  EXPECT_EQ(describeTestContext, setAssertionContext(AssertionContext()).describe);
}

TEST(ShowProblemTest, WritesErrorLineAndReturns) {
  testing::internal::CaptureStderr();
  showProblem("disk is full");
  EXPECT_EQ("ERROR : disk is full\n", testing::internal::GetCapturedStderr());
}

// ---- Strings and clocks ----

TEST(UtilsTest, StringHelpers) {
  char* fragment = Utils::copyFragmentOfStringIntoNewString("hello world", 6, 11);
  EXPECT_STREQ("world", fragment);
  delete[] fragment;
  for (int n : {0, 7, 10, -10, 99999, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
    EXPECT_EQ(std::to_string(n), Utils::intToString(n));
  wchar_t* wide = Utils::stringToWideString("abc");
  EXPECT_EQ(std::wstring(L"abc"), std::wstring(wide));
  delete[] wide;
  EXPECT_EQ(std::string("A\x01", 2), Utils::wideStringToString(std::wstring{L'A', static_cast<wchar_t>(0x101)}));
}

TEST(UtilsDeathTest, FragmentWithEndBeforeBeginningIsFatal) {
  EXPECT_EXIT(Utils::copyFragmentOfStringIntoNewString("abc", 2, 2), testing::ExitedWithCode(1),
              "Message: copyFragmentOfStringIntoNewString: end <= beginning");
}

TEST(UtilsTest, ClocksAdvance) {
  const int64_t firstMs = Utils::getTimeMs();
  EXPECT_GE(firstMs, 0);
  EXPECT_LT(firstMs, 1000);  // the base is the whole second of the first call
  const int64_t before = Utils::getTimeMicroseconds();
  usleep(2000);
  EXPECT_GE(Utils::getTimeMicroseconds() - before, 2000);
  EXPECT_GE(Utils::getTimeMs(), firstMs);
}

// ---- Threads ----

TEST(ThreadTest, RunsFunctionAndJoins) {
  int value = 0;
  Thread thread([](void* argument) -> void* {
    *static_cast<int*>(argument) = 42;
    return nullptr;
  }, &value);
  thread.join();
  EXPECT_EQ(42, value);
  thread.join();  // a second join is harmless
}

// ---- Files ----

TEST(FileManagerTest, ReadableFilesOnly) {
  TempDir dir;
  EXPECT_TRUE(FileManager::fileExists(dir.write("empty.txt", "")));
  EXPECT_FALSE(FileManager::fileExists(dir.file("absent.txt")));
  EXPECT_FALSE(FileManager::fileExists(dir.path()));  // a directory is not a data file
}

TEST(AssertionReportTest, ConditionTextIsTakenAsWrittenBeforeTheMessage) {
  EXPECT_EQ("f(a, b) == 1", assertionConditionText("f(a, b) == 1, \"a, b\""));
  EXPECT_EQ("c == ','", assertionConditionText("c == ',', message"));
  EXPECT_EQ("x", assertionConditionText("x"));
  const char* pointer = nullptr;
  EXPECT_EXIT(assert(pointer != NULL, std::string("built ") + "message"), testing::ExitedWithCode(1),
              "Condition: pointer != NULL\nMessage: built message\n");
}
