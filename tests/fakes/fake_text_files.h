#pragma once

#include <map>
#include <set>

#include "platform/text.h"
#include "platform/text_files.h"

namespace qova::fakes {

/// Files held in memory; a test can make reading or writing a file fail.
class FakeTextFiles : public platform::TextFiles {
  public:
    std::string programFolder() const override { return "/program"; }
    std::string path(std::string_view name) const override {
        return "/program/" + std::string(find(name) == files.end() ? name : find(name)->first);
    }
    bool exists(std::string_view name) const override { return find(name) != files.end(); }
    std::optional<platform::FileText> read(std::string_view name) const override {
        if (const auto held = inMemory.find(platform::lowerCase(name)); held != inMemory.end())
            return platform::FileText(held->second);
        const auto it = find(name);
        if (it == files.end() || unreadable.count(platform::lowerCase(name)))
            return std::nullopt;
        return platform::FileText(it->second);
    }
    bool replace(std::string_view name, std::string_view content) override {
        waitedFor.insert(platform::lowerCase(name));
        return store(name, content);
    }
    bool replaceWithLine(std::string_view name, std::string_view line,
                         platform::Durability) override {
        return replace(name, std::string(line) + "\r\n");
    }
    /// Lands at once; a file that cannot be written keeps its bytes while reads give the new ones.
    void replaceInBackground(std::string_view name, std::string content) override {
        if (!store(name, content))
            inMemory[platform::lowerCase(name)] = std::move(content);
    }
    bool appendLine(std::string_view name, std::string_view line) override {
        waitedFor.insert(platform::lowerCase(name));
        if (unwritable.count(platform::lowerCase(name)))
            return false;
        files[key(name)] += std::string(line) + "\r\n";
        return true;
    }

    bool remove(std::string_view name) override {
        if (unwritable.count(platform::lowerCase(name)))
            return false;
        inMemory.erase(platform::lowerCase(name));
        if (const auto it = find(name); it != files.end())
            files.erase(it);
        return true;
    }

    std::map<std::string, std::string> files;
    std::map<std::string, std::string> inMemory;  // lower-cased names
    std::set<std::string> unreadable;             // lower-cased names
    std::set<std::string> unwritable;             // lower-cased names
    /// The files a write waited for the disk for, unlike a write in the background (lower-cased).
    std::set<std::string> waitedFor;

  private:
    bool store(std::string_view name, std::string_view content) {
        if (unwritable.count(platform::lowerCase(name)))
            return false;
        files[key(name)] = std::string(content);
        return true;
    }
    std::map<std::string, std::string>::const_iterator find(std::string_view name) const {
        for (auto it = files.begin(); it != files.end(); ++it) {
            if (platform::equalsIgnoreCase(it->first, name))
                return it;
        }
        return files.end();
    }
    std::string key(std::string_view name) const {
        const auto it = find(name);
        return it == files.end() ? std::string(name) : it->first;
    }
};

}  // namespace qova::fakes
