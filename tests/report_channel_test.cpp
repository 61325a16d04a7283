#include "src/report_channel.h"

#include <gtest/gtest.h>

namespace stampbak::testing {
namespace {

using platform::OutputKind;

// Standard output of the given kind, keeping the bytes of every write.
struct FakeReportOutput final : platform::ReportOutput {
  OutputKind kind = OutputKind::File;
  int opens = 0;
  std::vector<std::string> writes;

  OutputKind Open() override {
    ++opens;
    return kind;
  }
  bool Write(const char* data, std::size_t size) override {
    writes.emplace_back(data, size);
    return true;
  }
  bool SharedWithDiagnostics() override { return false; }
};

// A file or pipe gets loads of 128 bytes and the rest at the close; a
// character device each line as it ends.
TEST(ReportChannel, LoadsOf128BytesOrLines) {
  for (OutputKind kind : {OutputKind::File, OutputKind::Pipe, OutputKind::CharDevice}) {
    FakeReportOutput out;
    out.kind = kind;
    ReportChannel report(out);
    report.Write(std::string(100, 'a'));
    report.EndLine();
    report.Write(std::string(326, 'b'));  // fills the first load exactly, then two more
    report.WriteNumber(-42);
    report.Close();
    const std::vector<std::string> loads{std::string(100, 'a') + "\r\n" + std::string(26, 'b'),
                                         std::string(128, 'b'), std::string(128, 'b'),
                                         std::string(44, 'b') + "-42"};
    const std::vector<std::string> lines{std::string(100, 'a') + "\r\n", std::string(128, 'b'),
                                         std::string(128, 'b'), std::string(70, 'b') + "-42"};
    EXPECT_EQ(out.writes, kind == OutputKind::CharDevice ? lines : loads);
    EXPECT_EQ(out.opens, 1);
  }
}

}  // namespace
}  // namespace stampbak::testing
