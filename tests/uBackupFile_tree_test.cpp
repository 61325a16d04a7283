#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "src/uBackupFile.h"
#include "tests/test_paths.h"

namespace stampbak {
namespace {

using testing::P;

// Keeps every write call, to check what goes out and in how many writes.
class RecordingStream final : public ByteStream {
 public:
  std::vector<std::string> writes;
  std::size_t Write(const void* data, std::size_t count) override {
    writes.emplace_back(static_cast<const char*>(data), count);
    return count;
  }
  std::string All() const {
    std::string all;
    for (const auto& w : writes) all += w;
    return all;
  }
};

TEST(TBackupFile, ChildSlotsGrowByEight) {
  TBackupFile root("", true, nullptr, 0);
  EXPECT_EQ(root.Count, 0);
  EXPECT_EQ(root.Capacity, 0);
  EXPECT_EQ(root.Children, nullptr);
  EXPECT_EQ(root.NewestTime, 0);
  std::vector<std::int32_t> capacities;
  for (int i = 0; i < 17; ++i) {
    TBackupFile* child = root.AddChild("f" + std::to_string(i), false, i);
    EXPECT_EQ(child->Parent, &root);
    capacities.push_back(root.Capacity);
  }
  EXPECT_EQ(capacities[0], 8);
  EXPECT_EQ(capacities[7], 8);
  EXPECT_EQ(capacities[8], 16);
  EXPECT_EQ(capacities[16], 24);
  for (int i = 0; i < 17; ++i) EXPECT_EQ(root.Children[i]->Name, "f" + std::to_string(i));
  root.Clear();
  EXPECT_EQ(root.Count, 0);
  EXPECT_EQ(root.Capacity, 0);
}

TEST(TBackupFile, NewestTimeRollsUpTheStrictlyGreater) {
  TBackupFile root("", true, nullptr, 0);
  TBackupFile* empty = root.AddChild("empty", true, 0);
  TBackupFile* a = root.AddChild("a", true, 0);
  TBackupFile* b = root.AddChild("b", true, 0);
  a->AddChild("old", false, 100.5);
  TBackupFile* deep = b->AddChild("c", true, 0)->AddChild("d", true, 0);
  deep->AddChild("new", false, 200.25);
  b->AddChild("same", false, 200.25);
  root.AddChild("nan", false, std::numeric_limits<double>::quiet_NaN());
  root.UpdateNewestTime();
  EXPECT_EQ(empty->NewestTime, 0);
  EXPECT_EQ(a->NewestTime, 100.5);
  EXPECT_EQ(b->NewestTime, 200.25);
  EXPECT_EQ(deep->NewestTime, 200.25);
  EXPECT_EQ(root.NewestTime, 200.25);
  EXPECT_TRUE(std::isnan(root.Children[3]->NewestTime));
}

TEST(TBackupFile, WriteListGivesRelativePathsInScanOrder) {
  TBackupFile root("", true, nullptr, 0);
  root.AddChild("top.txt", false, 1);
  TBackupFile* a = root.AddChild("a", true, 0);
  a->AddChild("b.txt", false, 1);
  a->AddChild("c", true, 0)->AddChild("b.txt", false, 1);
  a->AddChild("empty", true, 0);
  root.AddChild("my file.doc", false, 1);
  RecordingStream stream;
  root.WriteList(stream, "");
  EXPECT_EQ(stream.All(),
            "top.txt\r\n" + P("a/b.txt") + "\r\n" + P("a/c/b.txt") + "\r\nmy file.doc\r\n");
  EXPECT_EQ(stream.writes.size(), 8U);  // the path, then the line end

  RecordingStream nothing;
  TBackupFile dirsOnly("", true, nullptr, 0);
  dirsOnly.AddChild("x", true, 0)->AddChild("y", true, 0);
  dirsOnly.WriteList(nothing, "");
  EXPECT_TRUE(nothing.writes.empty());
}

}  // namespace
}  // namespace stampbak
