#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Pelindra::Settings {

// An INI file held in memory as raw bytes. Reading and writing never reformat the
// file: a write touches only the one line it replaces or adds, so hand edits,
// comments and foreign line ends survive. Values are UTF-8 bytes passed through as is.
class IniDocument {
  public:
    IniDocument() = default;
    explicit IniDocument(std::string bytes);

    // Value of the entry, or nullopt when the section or key is missing.
    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    // Replace or add the entry.
    void Write(std::string_view section, std::string_view key, std::string_view value);
    const std::string& Bytes() const;

  private:
    std::string bytes_;
};

}  // namespace Pelindra::Settings
