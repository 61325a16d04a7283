#include <algorithm>
#include <bit>

#include "platform/file_system.h"
#include "src/uBackupFile.h"

namespace stampbak {

TBackupFile::TBackupFile(std::string name, bool isDirectory, TBackupFile* parent, DateTime time)
    : Parent(parent), Name(std::move(name)), Time(time), IsDirectory(isDirectory) {}

TBackupFile::~TBackupFile() = default;

void TBackupFile::Clear() {
  Children.reset();
  Count = 0;
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

void TBackupFile::UpdateNewestTime() {
  NewestTime = Time;
  for (std::int32_t i = 0; i < Count; ++i) {
    Children[i]->UpdateNewestTime();
    if (Children[i]->NewestTime > NewestTime) NewestTime = Children[i]->NewestTime;
  }
}

void TBackupFile::WriteList(ByteStream& stream, const std::string& prefix) const {
  if (!IsDirectory) {
    stream.Write(prefix.data(), prefix.size());
    stream.Write(Name.data(), Name.size());
    stream.Write("\r\n", 2);
    return;
  }
  const std::string inner = Name.empty() ? prefix : prefix + Name + platform::PathDelimiter;
  for (std::int32_t i = 0; i < Count; ++i) Children[i]->WriteList(stream, inner);
}

}  // namespace stampbak
