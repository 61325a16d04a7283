#include "src/report_channel.h"

#include <gtest/gtest.h>

#include "tests/fake_system.h"

namespace stampbak {
namespace {

using platform::OutputKind;
using testing::FakeReportOutput;

TEST(ReportChannel, FileAndPipeLeaveInLoadsOf128Bytes) {
  for (OutputKind kind : {OutputKind::File, OutputKind::Pipe}) {
    FakeReportOutput out;
    out.kind = kind;
    ReportChannel report(out);
    report.Write(std::string(100, 'a'));
    report.EndLine();
    EXPECT_TRUE(out.writes.empty());
    report.Write(std::string(26, 'b'));  // exactly fills the buffer
    ASSERT_EQ(out.writes.size(), 1U);
    EXPECT_EQ(out.writes[0], std::string(100, 'a') + "\r\n" + std::string(26, 'b'));
    report.Write(std::string(300, 'c'));
    ASSERT_EQ(out.writes.size(), 3U);
    EXPECT_EQ(out.writes[2], std::string(128, 'c'));
    report.Close();
    ASSERT_EQ(out.writes.size(), 4U);
    EXPECT_EQ(out.writes[3], std::string(44, 'c'));
    EXPECT_EQ(out.opens, 1);
  }
}

TEST(ReportChannel, CharacterDeviceFlushesAtEveryLineEnd) {
  FakeReportOutput out;
  out.kind = OutputKind::CharDevice;
  ReportChannel report(out);
  report.Write("S ");
  report.Write("/src/a");
  EXPECT_TRUE(out.writes.empty());
  report.EndLine();
  report.WriteNumber(-42);
  report.EndLine();
  report.Close();
  EXPECT_EQ(out.writes, (std::vector<std::string>{"S /src/a\r\n", "-42\r\n"}));
}

TEST(ReportChannel, FailedWriteDropsTheRestOfThatOperationOnly) {
  FakeReportOutput out;
  out.failingWrites = {0};
  ReportChannel report(out);
  report.Write(std::string(200, 'x'));  // first load fails, its rest is dropped
  report.Write("next");
  report.EndLine();
  report.Close();
  EXPECT_EQ(out.writes.size(), 2U);
  EXPECT_EQ(out.Delivered(), "next\r\n");
}

TEST(ReportChannel, WithoutStandardOutputEverythingIsDroppedAndOpenRetried) {
  FakeReportOutput out;
  out.kind = OutputKind::None;
  ReportChannel report(out);
  report.Write("lost");
  report.EndLine();
  EXPECT_EQ(out.opens, 2);
  out.kind = OutputKind::File;
  report.Write("kept");
  report.EndLine();
  report.Close();
  EXPECT_EQ(out.Delivered(), "kept\r\n");
}

}  // namespace
}  // namespace stampbak
