#include <algorithm>
#include <bit>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "src/uBackupFile.h"

namespace stampbak {

TBackupFile::TBackupFile(std::string name, bool isDirectory, TBackupFile* parent, DateTime time)
    : Parent(parent), Name(std::move(name)), Time(time), IsDirectory(isDirectory) {}

TBackupFile::~TBackupFile() { Clear(); }

// Leaves are freed from the bottom up, following the parent links back, so
// that neither the call stack nor an allocation grows with the depth.
void TBackupFile::Clear() {
  TBackupFile* node = this;
  while (node != this || Count > 0) {
    if (node->Count > 0) {
      node = node->Children[node->Count - 1].get();
      continue;
    }
    TBackupFile* parent = node->Parent;
    parent->Children[--parent->Count].reset();
    node = parent;
  }
  Children.reset();
  Capacity = 0;
}

TBackupFile* TBackupFile::Add(std::unique_ptr<TBackupFile> node) {
  if (Count >= Capacity) {
    const auto stored = std::bit_ceil(static_cast<std::uint32_t>(Capacity));
    Capacity += 8;
    if (static_cast<std::uint32_t>(Capacity) > stored) {
      auto grown = std::make_unique<std::unique_ptr<TBackupFile>[]>(
          std::bit_ceil(static_cast<std::uint32_t>(Capacity)));
      std::move(Children.get(), Children.get() + Count, grown.get());
      Children = std::move(grown);
    }
  }
  Children[Count] = std::move(node);
  return Children[Count++].get();
}

TBackupFile* TBackupFile::AddChild(std::string name, bool isDirectory, DateTime time) {
  return Add(std::make_unique<TBackupFile>(std::move(name), isDirectory, this, time));
}

// The walks below go depth first with the position in each directory on a
// stack of their own, however deep the tree.
void TBackupFile::UpdateNewestTime() {
  std::vector<std::pair<TBackupFile*, std::int32_t>> stack{{this, 0}};
  NewestTime = Time;
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (next == node->Count) {
      stack.pop_back();
      if (!stack.empty() && node->NewestTime > stack.back().first->NewestTime) {
        stack.back().first->NewestTime = node->NewestTime;
      }
      continue;
    }
    TBackupFile* child = node->Children[next++].get();
    child->NewestTime = child->Time;
    stack.emplace_back(child, 0);
  }
}

void TBackupFile::WriteList(const std::function<void(std::string_view)>& write,
                            const std::string& prefix) const {
  if (!IsDirectory) {
    write(prefix);
    write(Name);
    write("\r\n");
    return;
  }
  std::string path = Name.empty() ? prefix : prefix + Name + platform::PathDelimiter;
  std::vector<std::pair<const TBackupFile*, std::int32_t>> stack{{this, 0}};
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (next == node->Count) {
      stack.pop_back();
      if (!stack.empty()) path.resize(path.size() - node->Name.size() - 1);
      continue;
    }
    const TBackupFile* child = node->Children[next++].get();
    if (child->IsDirectory) {
      path.append(child->Name).append(1, platform::PathDelimiter);
      stack.emplace_back(child, 0);
    } else {
      write(path);
      write(child->Name);
      write("\r\n");
    }
  }
}

}  // namespace stampbak
