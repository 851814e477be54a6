// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "message_text.hpp"
#include "output_file.hpp"
#include "temp_files_posix.hpp"

namespace fs = std::filesystem;

namespace tamsel::cli {

namespace {

// The permission bits of a new file: 0666 less the umask, as a shell
// redirection gives.  The first call reads the umask; prepareOutputs() makes
// it before any thread starts.
mode_t newFileMode() {
  // umask() can only be read by setting it, which is not safe while other
  // threads create files: read once, before the workers start.
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

[[noreturn]] void cannot(const std::string& what, const std::string& path, int error) {
  throw Failure(Status::CannotWrite, fmt::format("{}: {}: {}", path, what, errnoText(error)));
}

// Written as it is: a FIFO, a device, /dev/stdout...
class DirectOutput final : public OutputFile {
 public:
  explicit DirectOutput(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ < 0) cannot("cannot open", path, errno);
  }
  ~DirectOutput() override {
    if (fd_ >= 0) ::close(fd_);
  }
  DirectOutput(const DirectOutput&) = delete;
  DirectOutput& operator=(const DirectOutput&) = delete;

  void write(const char* data, std::size_t size) override { writeAll(fd_, data, size, path_); }
  void commit() override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) cannot("cannot write", path_, errno);
  }

 private:
  std::string path_;
  int fd_ = -1;
};

// Written under a temporary name beside the target and renamed over it.
class ReplacedFile final : public OutputFile {
 public:
  // existing: the target's current status, or nullptr for a new file.
  ReplacedFile(const std::string& shownName, const std::string& target, const struct stat* existing)
      : shownName_(shownName) {
    const fs::path path(target);
    const std::string parent = path.parent_path().empty() ? std::string(".") : path.parent_path().string();
    name_ = path.filename().string();
    // Everything after this goes through the directory's descriptor, so the
    // output lands in (and a failure cleans up) the directory opened here,
    // wherever it is moved meanwhile.
    directory_ = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory_ < 0) cannot("cannot create", shownName_, errno);
    fd_ = TempFiles::instance().create(directory_, temp_);
    if (fd_ < 0) {
      const int error = errno;
      ::close(directory_);
      directory_ = -1;
      cannot("cannot create", shownName_, error);
    }
    mode_t mode = 0;
    if (existing != nullptr) {
      // Owner first: changing it clears the set-user-ID bits fchmod sets.
      if ((existing->st_uid != ::geteuid() || existing->st_gid != ::getegid()) &&
          ::fchown(fd_, existing->st_uid, existing->st_gid) != 0)
        (void)::fchown(fd_, static_cast<uid_t>(-1), existing->st_gid);  // the group alone, where allowed
      mode = existing->st_mode & 07777;
    } else {
      mode = newFileMode();
    }
    if (::fchmod(fd_, mode) != 0) {
      const int error = errno;
      abandon();
      ::close(directory_);  // the destructor does not run for a constructor that throws
      directory_ = -1;
      cannot("cannot set the permissions", shownName_, error);
    }
  }
  ~ReplacedFile() override {
    if (fd_ >= 0 || !temp_.empty()) abandon();
    if (directory_ >= 0) ::close(directory_);
  }
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  void write(const char* data, std::size_t size) override { writeAll(fd_, data, size, shownName_); }

  void commit() override {
    if (::fsync(fd_) != 0) fail("cannot write", errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) fail("cannot write", errno);
    const int error = TempFiles::instance().commit(directory_, temp_, name_);
    if (error != 0) fail("cannot replace", error);
    temp_.clear();
    // The rename is only durable once the directory is on disk too.
    const bool synced = ::fsync(directory_) == 0;
    const int syncError = errno;
    if (!synced)
      throw Failure(Status::CannotWrite, fmt::format("{}: written, but its directory could not be synced to disk: {}",
                                                     shownName_, errnoText(syncError)));
  }

 private:
  void abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) TempFiles::instance().discard(directory_, temp_);
    temp_.clear();
  }
  [[noreturn]] void fail(const char* what, int error) {
    abandon();
    cannot(what, shownName_, error);
  }

  std::string shownName_;
  std::string name_;    // the target's name in its directory
  int directory_ = -1;  // the target's directory
  std::string temp_;    // the temporary's name there
  int fd_ = -1;
};

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The name a chain of dangling symbolic links ends at (where `> path` would
// create the file).
std::string danglingLinkTarget(const std::string& path) {
  fs::path at(path);
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    const fs::path next = fs::read_symlink(at, ec);
    if (ec) return at.string();
    at = next.is_absolute() ? next : at.parent_path() / next;
  }
  throw Failure(Status::CannotWrite, fmt::format("{}: cannot create: {}", printable(path, 4096), errnoText(ELOOP)));
}

}  // namespace

void prepareOutputs() {
  TempFiles::instance().watchSignals();
  (void)newFileMode();  // reads the umask while this is the only thread that creates files
}

std::string errnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

void writeAll(int fd, const char* data, std::size_t size, const std::string& name) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if (error == EPIPE && !TempFiles::ignoredAtStart(SIGPIPE)) TempFiles::instance().dieOf(SIGPIPE);
      if (error == EFBIG)
        throw Failure(Status::CannotWrite,
                      fmt::format("{}: cannot write: the file would exceed the file-size limit (ulimit -f)", name));
      throw Failure(Status::CannotWrite, fmt::format("{}: cannot write: {}", name, errnoText(error)));
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

std::unique_ptr<OutputFile> OutputFile::open(const std::string& path) {
  if (startsWith(path, "/dev/") || startsWith(path, "/proc/")) return std::make_unique<DirectOutput>(path);
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) return std::make_unique<DirectOutput>(path);
    if (info.st_nlink > 1)
      throw Failure(Status::CannotWrite,
                    fmt::format("{}: the file has {} hard links; replacing it would cut it off from the others and "
                                "writing it in place could leave it half-written, so it is left alone (remove the "
                                "other links, or write to another name)",
                                path, info.st_nlink));
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real) == nullptr) cannot("cannot create", path, errno);
    return std::make_unique<ReplacedFile>(path, real, &info);
  }
  if (errno != ENOENT) cannot("cannot create", path, errno);
  return std::make_unique<ReplacedFile>(path, danglingLinkTarget(path), nullptr);
}

}  // namespace tamsel::cli
