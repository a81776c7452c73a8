// The address in ifupdown's configuration: /etc/network/interfaces and the files it sources are read as
// ifupdown reads them (stanzas begin at a keyword line; every other line belongs to the stanza above),
// the interface's "inet" stanzas are commented out where they are, and one stanza of ours takes their
// place in /etc/network/interfaces.d.
#include "address_store_linux.h"

#include <glob.h>

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

const char* const MainFile = "/etc/network/interfaces";
const char* const MainFolder = "/etc/network";
const char* const OwnFolder = "/etc/network/interfaces.d";
const char* const DisabledMark = "#tavik-setip# ";
constexpr int SourceDepthLimit = 8;

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// A line that starts a new stanza (or is a stanza of its own) in ifupdown's grammar.
bool IsStanzaKeyword(const std::string& word) {
  return word == "iface" || word == "mapping" || word == "auto" || word.rfind("allow-", 0) == 0 || word == "source" ||
         word == "source-directory" || word == "rename" || word == "no-auto-down" || word == "no-scripts";
}

bool IsInetStanzaOf(const std::vector<std::string>& words, const std::string& device) {
  return words.size() >= 3 && words[0] == "iface" && words[1] == device && words[2] == "inet";
}

// Names that ifupdown's source-directory takes, as run-parts does.
bool IsRunPartsName(const std::string& name) {
  return !name.empty() &&
         std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '-'; });
}

std::string OwnFileName(const std::string& device) {
  std::string name = "tavik-" + device;
  std::replace(name.begin(), name.end(), '.', '_');
  return std::string(OwnFolder) + "/" + name;
}

std::string Absolute(const std::string& path) {
  return path.rfind('/', 0) == 0 ? path : std::string(MainFolder) + "/" + path;
}

void CollectFiles(const ConfigurationFiles& files, const std::string& path, int depth, std::vector<std::string>& out);

// The files that one "source" or "source-directory" line adds.
void FollowSource(const ConfigurationFiles& files, const std::vector<std::string>& words, int depth,
                  std::vector<std::string>& out) {
  if (words.size() < 2) return;
  if (words[0] == "source-directory") {
    const std::string folder = Absolute(words[1]);
    for (const std::string& name : files.List(folder)) {
      if (IsRunPartsName(name)) CollectFiles(files, folder + "/" + name, depth + 1, out);
    }
    return;
  }
  const std::string pattern = files.Under(Absolute(words[1]));
  std::string prefix = files.Under("/");  // the root itself, found paths less this prefix are the system's
  prefix.pop_back();
  glob_t found{};
  if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
    for (std::size_t i = 0; i < found.gl_pathc; ++i) {
      std::string path = found.gl_pathv[i];
      if (path.rfind(prefix, 0) == 0) CollectFiles(files, path.substr(prefix.size()), depth + 1, out);
    }
  }
  globfree(&found);
}

void CollectFiles(const ConfigurationFiles& files, const std::string& path, int depth, std::vector<std::string>& out) {
  if (depth > SourceDepthLimit || !files.Exists(path)) return;
  if (std::find(out.begin(), out.end(), path) != out.end()) return;
  out.push_back(path);
  std::istringstream text(files.Read(path));
  for (std::string line; std::getline(text, line);) {
    std::vector<std::string> words = Words(line);
    if (!words.empty() && (words[0] == "source" || words[0] == "source-directory"))
      FollowSource(files, words, depth, out);
  }
}

std::vector<std::string> IfupdownFiles(const ConfigurationFiles& files) {
  std::vector<std::string> out;
  CollectFiles(files, MainFile, 0, out);
  return out;
}

// Whether an "auto" or "allow-..." line lists the device, so that it comes up at start.
bool StartsAtBoot(const std::string& text, const std::string& device) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> words = Words(line);
    if (words.empty() || (words[0] != "auto" && words[0].rfind("allow-", 0) != 0)) continue;
    if (std::find(words.begin() + 1, words.end(), device) != words.end()) return true;
  }
  return false;
}

std::string OwnStanza(const AddressCommand& command, const std::string& device, bool listedForStart) {
  std::string text =
      "# The address set by tavik-setip (the IP set-up dialog); it replaces the stanzas marked\n"
      "# " +
      std::string(DisabledMark) + "elsewhere.\n";
  if (!listedForStart) text += "allow-hotplug " + device + "\n";
  if (command.dhcp) return text + "iface " + device + " inet dhcp\n";
  return text + "iface " + device + " inet static\n    address " + DottedQuad(command.address) + "/" +
         std::to_string(command.prefixLength) + "\n";
}

}  // namespace

std::string WithoutInetStanzas(const std::string& text, const std::string& device, bool& changed) {
  std::string out;
  bool inStanza = false;
  changed = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    std::size_t next = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(pos, next - pos);
    pos = next;
    std::vector<std::string> words = Words(line);
    if (!words.empty() && IsStanzaKeyword(words[0])) inStanza = IsInetStanzaOf(words, device);
    if (inStanza && !words.empty() && words[0][0] != '#') {
      out += DisabledMark;
      changed = true;
    }
    out += line;
  }
  return out;
}

bool IfupdownConfiguresDevice(const std::string& device, const ConfigurationFiles& files) {
  for (const std::string& path : IfupdownFiles(files)) {
    std::istringstream text(files.Read(path));
    for (std::string line; std::getline(text, line);) {
      if (IsInetStanzaOf(Words(line), device)) return true;
    }
  }
  return false;
}

bool StoreIfupdownAddress(const AddressCommand& command, const std::string& device, ConfigurationFiles& files,
                          std::string& error) {
  const std::string own = OwnFileName(device);
  bool listedForStart = false;
  for (const std::string& path : IfupdownFiles(files)) {
    if (path == own) continue;
    const std::string text = files.Read(path);
    bool changed = false;
    const std::string disabled = WithoutInetStanzas(text, device, changed);
    listedForStart = listedForStart || StartsAtBoot(text, device);
    if (changed && !files.Write(path, disabled, error)) return false;
  }
  if (!files.Write(own, OwnStanza(command, device, listedForStart), error)) return false;
  std::vector<std::string> read = IfupdownFiles(files);
  if (std::find(read.begin(), read.end(), own) != read.end()) return true;
  // The interfaces file sources no folder that holds ours: it names our file itself.
  std::string main = files.Read(MainFile);
  if (!main.empty() && main.back() != '\n') main += '\n';
  return files.Write(MainFile, main + "source " + own + "\n", error);
}
