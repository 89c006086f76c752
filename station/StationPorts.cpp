#include "station/StationPorts.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include "serial/SerialDevice.h"

namespace zel {
namespace {

// Labels longer than this lose the words all the ports share.
constexpr size_t kLongLabel = 16;

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path + "/") {
    if (c != '/' && c != '\\') {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  return parts;
}

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string Tail(const std::vector<std::string>& parts, size_t count) {
  std::string tail;
  for (size_t i = parts.size() - std::min(count, parts.size()); i < parts.size(); ++i)
    tail += (tail.empty() ? "" : "/") + parts[i];
  return tail;
}

// Words of a name, split after '-' and '_' (kept with the word before).
std::vector<std::string> Words(const std::string& name) {
  std::vector<std::string> words;
  std::string word;
  for (char c : name) {
    word += c;
    if (c == '-' || c == '_') {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// Drops the leading and trailing words that every label shares, as long
// as each keeps at least one word of its own.
void DropSharedWords(std::vector<std::string>& labels) {
  std::vector<std::vector<std::string>> words;
  for (const std::string& label : labels) words.push_back(Words(label));
  size_t shortest = words.front().size();
  for (const auto& w : words) shortest = std::min(shortest, w.size());
  const auto sharedAt = [&](auto index) {
    return std::all_of(words.begin(), words.end(),
                       [&](const auto& w) { return index(w) == index(words[0]); });
  };
  size_t front = 0, back = 0;
  while (front + back + 1 < shortest && sharedAt([&](const auto& w) { return w[front]; })) ++front;
  while (front + back + 1 < shortest && sharedAt([&](const auto& w) { return w[w.size() - 1 - back]; }))
    ++back;
  for (size_t i = 0; i < labels.size(); ++i) {
    std::string label;
    for (size_t j = front; j < words[i].size() - back; ++j) label += words[i][j];
    while (label.size() > 1 && (label.back() == '-' || label.back() == '_')) label.pop_back();
    labels[i] = label;
  }
}

}  // namespace

std::vector<std::string> ShortLabels(const std::vector<std::string>& paths) {
  std::vector<std::vector<std::string>> parts;
  for (const std::string& path : paths) parts.push_back(Components(path));
  std::vector<std::string> labels(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    if (parts[i].empty()) {
      labels[i] = paths[i];
      continue;
    }
    size_t count = AllDigits(parts[i].back()) ? 2 : 1;
    for (;; ++count) {
      labels[i] = Tail(parts[i], count);
      bool unique = true;
      for (size_t j = 0; j < paths.size() && unique; ++j)
        unique = j == i || Tail(parts[j], count) != labels[i];
      if (unique || count >= parts[i].size()) break;
    }
  }
  const bool oneComponentEach = std::all_of(labels.begin(), labels.end(), [](const std::string& label) {
    return label.find('/') == std::string::npos;
  });
  const bool anyLong = std::any_of(labels.begin(), labels.end(),
                                   [](const std::string& label) { return label.size() > kLongLabel; });
  if (labels.size() > 1 && oneComponentEach && anyLong) {
    std::vector<std::string> shorter = labels;
    DropSharedWords(shorter);
    if (std::set<std::string>(shorter.begin(), shorter.end()).size() == shorter.size()) labels = shorter;
  }
  return labels;
}

std::vector<CStationPort> NameStationPorts(const std::vector<std::string>& arguments, std::string& refusal) {
  std::vector<CStationPort> ports;
  for (const std::string& argument : arguments) {
    CStationPort port;
    // NAME=PATH, where NAME is a plain word: a path never starts that way.
    const size_t equals = argument.find('=');
    const std::string name = equals == std::string::npos ? std::string() : argument.substr(0, equals);
    if (!name.empty() && name.find_first_of("/\\:") == std::string::npos && equals + 1 < argument.size()) {
      port.label = name;
      port.path = argument.substr(equals + 1);
    } else {
      port.path = argument;
    }
    ports.push_back(port);
  }
  std::vector<std::string> unnamed;
  for (const CStationPort& port : ports)
    if (port.label.empty()) unnamed.push_back(port.path);
  const std::vector<std::string> tails = ShortLabels(unnamed);
  size_t next = 0;
  for (CStationPort& port : ports)
    if (port.label.empty()) port.label = tails[next++];

  std::set<std::string> devices, labels;
  for (const CStationPort& port : ports) {
    std::error_code ec;
    std::string device = CSerialDevice::ResolveName(port.path);
    const auto canonical = std::filesystem::weakly_canonical(device, ec);
    if (!ec) device = canonical.string();
    if (!devices.insert(device).second) {
      refusal = port.path + ": the same port is named twice";
      return {};
    }
    if (!labels.insert(port.label).second) {
      refusal = port.label + ": two ports have this name; name them with --port NAME=PATH";
      return {};
    }
  }
  return ports;
}

std::string LogPathForPort(const std::string& logPath, const std::string& label) {
  std::string name = label;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
  const std::filesystem::path path(logPath);
  return (path.parent_path() / (path.stem().string() + "-" + name + path.extension().string())).string();
}

const CPortInfo* FindPort(const std::vector<CPortInfo>& present, const std::string& path) {
  std::error_code ec;
  const std::filesystem::path device = std::filesystem::canonical(path, ec);
  for (const CPortInfo& port : present)
    if (port.name == path || port.byPath == path || port.device == path || (!ec && device == port.device))
      return &port;
  return nullptr;
}

}  // namespace zel
