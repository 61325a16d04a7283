// Workers that open, list and look up whole directories ahead of the walk,
// in the order it will want them, and hand each over in chunks: a cold
// disk or a share then has several requests to answer at once instead of
// one at a time. The workers share nothing with the walk but the state
// below, under one mutex. What they ask of the system, a directory opened
// from its parent and never through a link where the platform can, is in
// a file of each platform's own.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/read_ahead.h"

namespace platform {
namespace {

constexpr std::size_t kChunk = 256;             // entries handed over at once
constexpr std::size_t kAheadOfWalk = 2048;      // held for the directory the walk is in
constexpr std::size_t kWindowEntries = 8192;    // held for directories it has not reached
constexpr std::size_t kWindowDirectories = 64;  // read ahead and not reached
// Directories deeper than this below the source are read by the walk
// alone: with the walk's own levels and the window, that keeps the
// directories the read-ahead holds open within the system's limit.
constexpr int kDeepestAhead = 256;
constexpr auto kPatience = std::chrono::milliseconds(50);
// How long the run's end waits for a worker stuck in the file system
// (a dead share) before it leaves it behind; the process's exit ends it.
constexpr auto kJoinPatience = std::chrono::seconds(2);

struct AheadDirectory;

struct AheadEntry {
  DirectoryEntry Entry;
  bool ToLookUp = false;  // a file the walk takes
  bool LookedUp = false;
  FileTimeLookup Lookup;
  std::shared_ptr<AheadDirectory> Child;  // a subdirectory the walk will enter
};

// Entries as listed, then looked up by any worker, or by the walk when it
// comes to them first: one directory's files are looked up side by side.
struct Chunk {
  std::vector<AheadEntry> Entries;
  bool Started = false;  // guarded by the engine's mutex, as is Ready
  bool Ready = false;
};

enum class Stage { Waiting, Reading, Read, WalkAlone };

// One directory read ahead. Everything but the names is guarded by the
// engine's mutex.
struct AheadDirectory {
  AheadDirectory(std::string name, std::uint64_t listed, std::shared_ptr<AheadDirectory> parent)
      : Name(std::move(name)),
        Listed(listed),
        Depth(parent ? parent->Depth + 1 : 0),
        Parent(std::move(parent)) {}

  const std::string Name;
  const std::uint64_t Listed;  // the number its parent's listing gave it
  const int Depth;
  std::shared_ptr<AheadDirectory> Parent;  // until it is opened
  Stage Progress = Stage::Waiting;
  std::unique_ptr<HeldDirectory> Open;  // until no one needs it
  std::string Identity;                 // once it was opened
  SystemError OpenError = 0;            // the open failed with it: the walk says so
  std::deque<std::shared_ptr<Chunk>> Chunks;
  std::size_t Held = 0;  // entries in Chunks
  int LookingUp = 0;     // chunks whose files are still to be looked up in Open
  SystemError ListingError = 0;
  int Unopened = 0;        // subdirectories still to be opened from Open
  int Pins = 0;            // users of Open outside the mutex
  bool NeedsOpen = false;  // the walk may open or look up from Open itself
  bool Taken = false;      // the walk is in it
  bool Left = false;       // the walk left it, or will never enter it
  bool Counted = false;    // in the window

  // Every entry is in, or it could not be opened.
  bool Complete() const { return Progress == Stage::Read; }
};

using Lock = std::unique_lock<std::mutex>;

// What the workers and the walk share.
struct Shared {
  explicit Shared(const ReadAhead& plan) : Plan(plan) {}
  const ReadAhead Plan;
  std::mutex Mutex;
  std::condition_variable ForWorkers;                  // work to take, room for a chunk, the end
  std::condition_variable ForWalk;                     // a directory opened or read further
  std::vector<std::shared_ptr<AheadDirectory>> Stack;  // to be opened, the next on top
  // Chunks whose files are to be looked up, the walk's soonest first.
  std::deque<std::pair<std::shared_ptr<AheadDirectory>, std::shared_ptr<Chunk>>> Lookups;
  std::size_t Started = 0;  // directories in the window
  std::size_t Held = 0;     // entries held for them
  bool Stopping = false;
  bool NoMore = false;  // a worker ran short of handles or memory: start nothing more
  int Running = 0;      // workers not yet ended
  int Busy = 0;         // workers at work, for the fixed plan
  unsigned Generation = 0;
  unsigned Seen = 0;
};

// A worker waits for something to do; under the fixed plan the walk goes
// on only when the workers wait and have seen its last request.
template <typename Ready>
void Idle(Shared& shared, Lock& lock, Ready ready) {
  --shared.Busy;
  while (!ready()) {
    shared.Seen = shared.Generation;
    if (shared.Plan.Lockstep) shared.ForWalk.notify_one();
    shared.ForWorkers.wait(lock);
  }
  ++shared.Busy;
}

void CloseIfDone(AheadDirectory& dir) {
  if (!dir.Open || dir.Pins > 0 || dir.Progress == Stage::Reading) return;
  if (!dir.Left && !(dir.Complete() && dir.Unopened == 0 && dir.LookingUp == 0 && !dir.NeedsOpen)) {
    return;
  }
  dir.Open.reset();
}

void LeaveWindow(Shared& shared, AheadDirectory& dir) {
  if (!dir.Counted) return;
  dir.Counted = false;
  --shared.Started;
  shared.Held -= dir.Held;
}

// The walk will never enter these, nor anything below them.
void Abandon(Shared& shared, std::vector<std::shared_ptr<AheadDirectory>> dirs) {
  while (!dirs.empty()) {
    const std::shared_ptr<AheadDirectory> dir = std::move(dirs.back());
    dirs.pop_back();
    if (dir->Left || dir->Taken) continue;
    dir->Left = true;
    LeaveWindow(shared, *dir);
    for (const auto& chunk : dir->Chunks) {
      for (const AheadEntry& entry : chunk->Entries) {
        if (entry.Child) dirs.push_back(entry.Child);
      }
    }
    dir->Chunks.clear();
    CloseIfDone(*dir);
  }
}

// Opens a waiting directory from its parent. False when the walk must open
// it itself.
bool OpenFromParent(Shared& shared, Lock& lock, AheadDirectory& dir) {
  const std::shared_ptr<AheadDirectory> parent = std::move(dir.Parent);
  if (!parent->Open) {
    dir.Progress = Stage::WalkAlone;
    return false;
  }
  ++parent->Pins;
  dir.Progress = Stage::Reading;
  lock.unlock();
  DirectoryOpening opening;
  std::string identity;
  try {
    opening = parent->Open->OpenChild(dir.Name, dir.Listed);
    if (opening.Directory) identity = opening.Directory->Identity();
  } catch (const std::bad_alloc&) {
    opening = {nullptr, kOutOfMemoryError, false};
  }
  lock.lock();
  --parent->Pins;
  --parent->Unopened;
  // Only the directory listed is read, nothing swapped in since.
  const bool shortOf = IsShortOfHandles(opening.Error) || IsOutOfMemory(opening.Error);
  if (opening.Swapped || shortOf) {
    shared.NoMore = shared.NoMore || shortOf;
    parent->NeedsOpen = true;
    dir.Progress = Stage::WalkAlone;
  } else if (!opening.Directory) {
    dir.OpenError = opening.Error;
    dir.Progress = Stage::Read;
  } else {
    dir.Open = std::move(opening.Directory);
    dir.Identity = std::move(identity);
  }
  CloseIfDone(*parent);
  return dir.Progress == Stage::Reading;
}

// Hands a chunk over, once the walk has room for it (the walk reading a
// directory itself never waits, nor does the last chunk of a listing),
// and offers its look-ups to the others.
void HandOver(Shared& shared, Lock& lock, const std::shared_ptr<AheadDirectory>& owner,
              std::vector<AheadEntry>& chunk, bool byWalk, bool last) {
  AheadDirectory& dir = *owner;
  if (!byWalk && !last) {
    Idle(shared, lock,
         [&] { return shared.Stopping || dir.Left || !dir.Taken || dir.Held < kAheadOfWalk; });
  }
  if (dir.Left || shared.Stopping) {
    chunk.clear();
    return;
  }
  auto handed = std::make_shared<Chunk>();
  handed->Entries = std::move(chunk);
  chunk = {};
  const bool toLookUp = std::any_of(handed->Entries.begin(), handed->Entries.end(),
                                    [](const AheadEntry& entry) { return entry.ToLookUp; });
  // Nothing to look up: ready as it is, for no one to take.
  handed->Started = !toLookUp;
  handed->Ready = !toLookUp;
  dir.Chunks.push_back(handed);
  dir.LookingUp += toLookUp ? 1 : 0;
  for (const AheadEntry& entry : handed->Entries) dir.Unopened += entry.Child ? 1 : 0;
  const std::size_t size = handed->Entries.size();
  dir.Held += size;
  if (dir.Counted) shared.Held += size;
  shared.ForWalk.notify_one();
  // The last one its reader looks up itself, which saves a small
  // directory a second handover; one the others cannot be offered for
  // want of memory, its reader or the walk looks up.
  if (toLookUp && !last) {
    shared.Lookups.emplace_back(owner, handed);
    shared.ForWorkers.notify_one();
  }
}

// Looks up the files of a chunk in its directory, which stays open
// meanwhile. One that fails for want of memory is left to the walk, which
// meets the failure itself.
void LookUp(Shared& shared, Lock& lock, AheadDirectory& dir, Chunk& chunk, LookUpMemory& memory) {
  chunk.Started = true;
  bool needsOpen = false;
  if (!dir.Left && dir.Open) {
    ++dir.Pins;
    const HeldDirectory& open = *dir.Open;
    lock.unlock();
    for (AheadEntry& entry : chunk.Entries) {
      if (!entry.ToLookUp) continue;
      try {
        entry.Lookup = open.LookUp(entry.Entry.Name, memory);
        entry.LookedUp = true;
        // An entry of no kind that turns out a directory is entered by the walk.
        needsOpen = needsOpen || entry.Lookup.Status == LookupStatus::Directory;
      } catch (const std::bad_alloc&) {
        needsOpen = true;
      }
    }
    lock.lock();
    --dir.Pins;
  }
  --dir.LookingUp;
  dir.NeedsOpen = dir.NeedsOpen || needsOpen;
  chunk.Ready = true;
  CloseIfDone(dir);
  shared.ForWalk.notify_one();
}

// What the walk needs of one entry: whether it is a file to look up, or
// for a directory it takes a place in the queue.
AheadEntry Entry(const Shared& shared, const std::shared_ptr<AheadDirectory>& dir,
                 DirectoryEntry& found, std::uint64_t listed) {
  AheadEntry entry;
  entry.Entry = std::move(found);
  const std::string& name = entry.Entry.Name;
  if (name == "." || name == ".." || !shared.Plan.Takes(name)) return entry;
  if (entry.Entry.Kind == EntryKind::Directory) {
    entry.Child = std::make_shared<AheadDirectory>(name, listed, dir);
  } else {
    entry.ToLookUp =
        entry.Entry.Kind != EntryKind::DirectoryLink && entry.Entry.Kind != EntryKind::Unarchivable;
  }
  return entry;
}

// Lists an open directory in chunks, which any worker looks up, then
// queues the subdirectories the walk will enter, the first on top.
void Read(Shared& shared, Lock& lock, const std::shared_ptr<AheadDirectory>& dir,
          LookUpMemory& memory, bool byWalk) {
  std::vector<std::shared_ptr<AheadDirectory>> children;
  std::vector<AheadEntry> chunk;
  SystemError error = 0;
  dir->Progress = Stage::Reading;
  HeldDirectory& open = *dir->Open;
  lock.unlock();
  try {
    const std::unique_ptr<EntrySource> entries = open.Entries();
    DirectoryEntry found;
    std::uint64_t listed = 0;
    while (entries->Next(found, listed, error)) {
      chunk.push_back(Entry(shared, dir, found, listed));
      if (chunk.back().Child) children.push_back(chunk.back().Child);
      if (chunk.size() < kChunk) continue;
      lock.lock();
      HandOver(shared, lock, dir, chunk, byWalk, false);
      const bool stop = dir->Left || shared.Stopping;
      lock.unlock();
      if (stop) break;
    }
    lock.lock();
    if (!chunk.empty()) HandOver(shared, lock, dir, chunk, byWalk, true);
  } catch (const std::bad_alloc&) {
    error = kOutOfMemoryError;  // the walk meets it where the listing ends
  }
  if (!lock.owns_lock()) lock.lock();
  dir->ListingError = error;
  dir->Progress = Stage::Read;
  try {
    if (!dir->Left && !shared.Stopping && dir->Depth < kDeepestAhead) {
      for (auto child = children.rbegin(); child != children.rend(); ++child) {
        shared.Stack.push_back(*child);
      }
    }
  } catch (const std::bad_alloc&) {
    // Those not queued the walk opens and reads itself when it comes to them.
  }
  CloseIfDone(*dir);
  shared.ForWalk.notify_one();
  if (children.size() > 1) shared.ForWorkers.notify_all();
  // Its own chunks that no other worker took yet come first: a small
  // directory then needs no second handover.
  try {
    const std::vector<std::shared_ptr<Chunk>> own(dir->Chunks.begin(), dir->Chunks.end());
    for (const auto& chunk : own) {
      if (!chunk->Started) LookUp(shared, lock, *dir, *chunk, memory);
    }
  } catch (const std::bad_alloc&) {
    // Left to the other workers and the walk.
  }
}

bool MayStart(const Shared& shared) {
  return !shared.Stack.empty() && !shared.NoMore && shared.Started < kWindowDirectories &&
         shared.Held < kWindowEntries;
}

// Looks up the next chunk, or else takes the next directory off the queue,
// opens and reads it.
void Work(const std::shared_ptr<Shared>& shared, const std::unique_ptr<LookUpMemory>& memory) {
  Lock lock(shared->Mutex);
  for (;;) {
    Idle(*shared, lock,
         [&] { return shared->Stopping || !shared->Lookups.empty() || MayStart(*shared); });
    if (shared->Stopping) break;
    if (!shared->Lookups.empty()) {
      const auto [dir, chunk] = std::move(shared->Lookups.front());
      shared->Lookups.pop_front();
      if (!chunk->Started) LookUp(*shared, lock, *dir, *chunk, *memory);
      continue;
    }
    const std::shared_ptr<AheadDirectory> dir = std::move(shared->Stack.back());
    shared->Stack.pop_back();
    if (dir->Progress != Stage::Waiting) continue;  // the walk came first
    if (dir->Open) {                                // the source, opened by the walk
      Read(*shared, lock, dir, *memory, false);
      continue;
    }
    if (dir->Left) {
      --dir->Parent->Unopened;
      CloseIfDone(*dir->Parent);
      dir->Parent.reset();
      continue;
    }
    dir->Counted = true;
    ++shared->Started;
    const bool opened = OpenFromParent(*shared, lock, *dir);
    shared->ForWalk.notify_one();
    if (opened) Read(*shared, lock, dir, *memory, false);
  }
  --shared->Running;
  shared->ForWalk.notify_one();
}

void StartWorkers(const std::shared_ptr<Shared>& shared, std::vector<std::thread>& workers) {
  StartWorkersQuietly([&] {
    for (int i = 0; i < shared->Plan.Workers; ++i) {
      try {
        {
          const Lock lock(shared->Mutex);
          ++shared->Running;
          ++shared->Busy;
        }
        workers.emplace_back(Work, shared, NewLookUpMemory());
      } catch (...) {
        const Lock lock(shared->Mutex);
        --shared->Running;
        --shared->Busy;
        break;  // the ones there are will do, or none: the walk reads alone
      }
    }
  });
}

// The workers, stopped and joined when the last listing of the walk goes.
class Engine {
 public:
  explicit Engine(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {
    StartWorkers(shared_, workers_);
  }
  ~Engine() {
    Lock lock(shared_->Mutex);
    shared_->Stopping = true;
    shared_->ForWorkers.notify_all();
    const bool ended =
        shared_->ForWalk.wait_for(lock, kJoinPatience, [&] { return shared_->Running == 0; });
    // What was queued holds its parent: let both go.
    for (const auto& dir : shared_->Stack) dir->Parent.reset();
    shared_->Stack.clear();
    shared_->Lookups.clear();
    lock.unlock();
    for (std::thread& worker : workers_) ended ? worker.join() : worker.detach();
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  bool Working() const { return !workers_.empty(); }
  Shared& State() { return *shared_; }

  // Waits on the walk's thread, letting it end meanwhile.
  template <typename Ready>
  void Await(Lock& lock, Ready ready) {
    Settle(lock);
    while (!ready()) {
      shared_->ForWalk.wait_for(lock, kPatience);
      if (!ready() && shared_->Plan.WhileWaiting) {
        lock.unlock();
        shared_->Plan.WhileWaiting();
        lock.lock();
      }
    }
  }

  // Wakes the workers for what the walk changed: work, room or the window.
  void Wake() { shared_->ForWorkers.notify_all(); }

  // Under the fixed plan the walk lets the workers run only while it waits
  // for them, so that every call comes in the same order on every run.
  void Settle(Lock& lock) {
    if (!shared_->Plan.Lockstep) return;
    ++shared_->Generation;
    shared_->ForWorkers.notify_all();
    shared_->ForWalk.wait(lock, [&] {
      return shared_->Running == 0 || (shared_->Busy == 0 && shared_->Seen == shared_->Generation);
    });
  }

 private:
  std::shared_ptr<Shared> shared_;
  std::vector<std::thread> workers_;
};

// A directory as the walk reads it from what the workers handed over.
class AheadListing final : public DirectoryListing {
 public:
  AheadListing(std::shared_ptr<Engine> engine, std::shared_ptr<AheadDirectory> dir)
      : engine_(std::move(engine)), dir_(std::move(dir)) {}
  ~AheadListing() override {
    Shared& shared = engine_->State();
    Lock lock(shared.Mutex);
    try {
      PassOver(next_ > 0 ? next_ - 1 : 0);
      for (const auto& chunk : dir_->Chunks) {
        for (const AheadEntry& entry : chunk->Entries) {
          if (entry.Child) passed_.push_back(entry.Child);
        }
      }
      Abandon(shared, std::move(passed_));
    } catch (const std::bad_alloc&) {
      // Short of memory what is left ahead stays until the run's end.
      shared.NoMore = true;
    }
    dir_->Left = true;
    dir_->Chunks.clear();
    CloseIfDone(*dir_);
    engine_->Wake();
    engine_->Settle(lock);
  }
  AheadListing(const AheadListing&) = delete;
  AheadListing& operator=(const AheadListing&) = delete;

  bool Next(DirectoryEntry& entry) override {
    if (next_ == chunk_.size() && !NextChunk()) return false;
    current_ = &chunk_[next_++];
    entry = current_->Entry;
    return true;
  }

  const std::string& Failure() const override { return failure_; }

  FileTimeLookup LastWriteTime(const std::string& name) override {
    if (current_ != nullptr && current_->LookedUp && current_->Entry.Name == name) {
      return current_->Lookup;
    }
    return WithOpen<FileTimeLookup>(
        [&](const HeldDirectory& open) { return open.LookUp(name, *memory_); },
        {LookupStatus::Failed, 0, "the directory could not be opened again"});
  }

  ListingOpen OpenSubdirectory(const std::string& name) override {
    if (current_ != nullptr && current_->Child && current_->Entry.Name == name) {
      return Enter(current_->Child);
    }
    return OpenItself(name);
  }

  std::string Identity() override { return dir_->Identity; }

 private:
  // The subdirectories of the chunk's entries from `from` on that the walk
  // did not enter, to be given up.
  void PassOver(std::size_t from) {
    for (std::size_t i = from; i < chunk_.size(); ++i) {
      if (chunk_[i].Child && !chunk_[i].Child->Taken) passed_.push_back(chunk_[i].Child);
    }
  }

  bool NextChunk() {
    Shared& shared = engine_->State();
    Lock lock(shared.Mutex);
    PassOver(0);
    const bool passedAny = !passed_.empty();
    Abandon(shared, std::move(passed_));
    passed_.clear();
    chunk_.clear();
    next_ = 0;
    current_ = nullptr;
    engine_->Await(lock, [&] { return !dir_->Chunks.empty() || dir_->Complete(); });
    if (dir_->Chunks.empty()) {
      if (IsOutOfMemory(dir_->ListingError)) throw std::bad_alloc();
      if (dir_->ListingError != 0) failure_ = ErrorWords(dir_->ListingError);
      return false;
    }
    const std::shared_ptr<Chunk> front = dir_->Chunks.front();
    // Not started by any worker yet: the walk looks it up itself.
    if (!front->Started) LookUp(shared, lock, *dir_, *front, *memory_);
    engine_->Await(lock, [&] { return front->Ready; });
    chunk_ = std::move(front->Entries);
    dir_->Chunks.pop_front();
    dir_->Held -= chunk_.size();
    if (!dir_->Complete() || passedAny) engine_->Wake();  // room, or the window
    engine_->Settle(lock);
    return true;
  }

  // The subdirectory as a worker opened and read it; one that no worker
  // has started the walk opens and reads itself, and below the deepest
  // level ahead it reads it alone.
  ListingOpen Enter(const std::shared_ptr<AheadDirectory>& child) {
    Shared& shared = engine_->State();
    Lock lock(shared.Mutex);
    child->Taken = true;
    if (child->Counted) engine_->Wake();  // a place in the window is free
    LeaveWindow(shared, *child);
    if (child->Progress == Stage::Waiting) {
      if (child->Depth > kDeepestAhead) child->Progress = Stage::WalkAlone;
      if (child->Progress == Stage::Waiting && OpenFromParent(shared, lock, *child)) {
        Read(shared, lock, child, *memory_, true);
      }
    }
    engine_->Await(lock, [&] {
      return child->Open || child->Complete() || child->Progress == Stage::WalkAlone;
    });
    const Stage stage = child->Progress;
    const SystemError openError = child->OpenError;
    lock.unlock();
    if (stage == Stage::WalkAlone) return OpenItself(child->Name);
    if (openError != 0) return FailedOpen(openError);
    return {std::make_unique<AheadListing>(engine_, child), ""};
  }

  // Opened and read by the walk alone, as without workers. Short of
  // descriptors or handles, it first lets go of what was read ahead.
  ListingOpen OpenItself(const std::string& name) {
    for (bool retried = false;; retried = true) {
      SystemError error = 0;
      ListingOpen open = WithOpen<ListingOpen>(
          [&](const HeldDirectory& dir) { return dir.OpenAlone(name, error); },
          {nullptr, "its directory could not be opened again"});
      if (open.Listing || retried || !IsShortOfHandles(error)) return open;
      LetGoAhead();
    }
  }

  void LetGoAhead() {
    Shared& shared = engine_->State();
    Lock lock(shared.Mutex);
    shared.NoMore = true;
    std::vector<std::shared_ptr<AheadDirectory>> queued;
    for (const auto& dir : shared.Stack) queued.push_back(dir);
    Abandon(shared, std::move(queued));
    engine_->Wake();
    engine_->Settle(lock);
  }

  // Calls with this directory, kept open meanwhile.
  template <typename Result, typename Call>
  Result WithOpen(Call call, Result closed) {
    Shared& shared = engine_->State();
    Lock lock(shared.Mutex);
    if (!dir_->Open) return closed;
    const HeldDirectory& open = *dir_->Open;
    ++dir_->Pins;
    lock.unlock();
    struct Unpin {
      Shared& shared;
      AheadDirectory& dir;
      ~Unpin() {
        const Lock relock(shared.Mutex);
        --dir.Pins;
        CloseIfDone(dir);
      }
    } unpin{shared, *dir_};
    return call(open);
  }

  std::shared_ptr<Engine> engine_;
  std::shared_ptr<AheadDirectory> dir_;
  std::vector<AheadEntry> chunk_;
  std::size_t next_ = 0;
  AheadEntry* current_ = nullptr;
  std::vector<std::shared_ptr<AheadDirectory>> passed_;
  std::string failure_;
  std::unique_ptr<LookUpMemory> memory_ = NewLookUpMemory();
};

}  // namespace

ListingOpen OpenDirectory(const std::string& directory, const ReadAhead& ahead) {
  if (ahead.Workers <= 0 || !RoomForReadAhead()) return OpenDirectory(directory);
  // The source first: no thread is started for one that cannot be read.
  DirectoryOpening source = HoldDirectory(directory);
  if (!source.Directory) return FailedOpen(source.Error);
  auto root = std::make_shared<AheadDirectory>("", 0, nullptr);
  root->Identity = source.Directory->Identity();
  root->Open = std::move(source.Directory);
  root->Taken = true;
  auto engine = std::make_shared<Engine>(std::make_shared<Shared>(ahead));
  if (!engine->Working()) {
    // No thread could be made: the walk reads alone, the same listing.
    return root->Open->ListAlone();
  }
  {
    Lock lock(engine->State().Mutex);
    engine->State().Stack.push_back(root);
    engine->Wake();
    engine->Settle(lock);
  }
  return {std::make_unique<AheadListing>(engine, root), ""};
}

}  // namespace platform
