// Fuzz target for the reader of the link library's log settings: the input becomes CMLLOG.INI in a
// scratch folder and is read; IDENT must come out as a short, clean file name part. When the input asks
// for small records, a connection opens and closes its record files with that IDENT in their names.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "link/link.h"
#include "link_record.h"
#include "scratch_tree.h"

namespace {

ScratchTree& Folder() {
  static ScratchTree folder("tavik-cmllog");
  return folder;
}

// The library looks for its files in the current directory: the scratch folder while an input runs, and
// the fuzzer's own folder again afterwards, where its corpus and crash paths lead.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) : previous_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (previous_ < 0 || chdir(folder.c_str()) != 0) std::abort();
  }
  ~InFolder() {
    if (fchdir(previous_) != 0) std::abort();
    close(previous_);
  }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  int previous_;
};

void Check(bool ok) {
  if (!ok) std::abort();
}

void EmptyFolder(const ScratchTree& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder.Root())) std::filesystem::remove(entry.path());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ScratchTree& folder = Folder();
  InFolder inFolder(folder.Root());
  EmptyFolder(folder);
  folder.Write("CMLLOG.INI", std::string(reinterpret_cast<const char*>(data), size));
  LinkReadLogSettings();
  LinkLogSettings settings = LinkCurrentLogSettings();
  const std::size_t identLength = strnlen(settings.ident, sizeof settings.ident);
  Check(identLength < sizeof settings.ident);
  Check(std::strpbrk(settings.ident, " \r\n") == nullptr);
  if (settings.record == 1 || settings.record == 2) {
    LinkConnection* link = LinkCreate();
    LinkOpenRecord(link, LinkDirectionReceive, "CRX");
    LinkRecordText(link, LinkDirectionReceive, 1, settings.ident);
    LinkLogMessage(link, LinkDirectionReceive, -4, "fuzz");
    LinkCloseRecords(link);
    LinkRelease(link);
  }
  LinkMarkLogSettingsUnread();
  return 0;
}
