// What an account row carries: a view of one record line of the loaded document. The texts are worked
// out from the line when an action asks for them, so a load keeps no second copy of any password.
#pragma once

#include <cstdint>
#include <string>

namespace sealkeep {

class Document;

class EntryRecord {
public:
    EntryRecord(const Document& document, std::uint32_t line) : document_(&document), line_(line) {}

    // Each returns a new string; the caller overwrites a password when done with it (scrub).
    std::string password() const;
    // Built from the templates that were in force when the file was loaded; empty when none matches.
    std::string command_line() const;
    std::string host() const;
    // As the file has them; an empty user stays empty here.
    std::string user() const;
    std::string service() const;

    std::uint32_t line() const { return line_; }

private:
    const Document* document_;
    std::uint32_t line_;
};

} // namespace sealkeep
