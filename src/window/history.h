// The renders gone through, for Back and Forward, kept as a browser keeps its
// pages: a new render after going back drops what lay ahead, the same render
// twice in a row is kept once, and the oldest go past a limit. No Qt, so that
// it is tried alone.
#pragma once

#include "render/frame.h"

#include <cstddef>
#include <string>
#include <vector>

namespace glimra {

// What a render started with; a formula's text with the name "formula".
struct HistoryEntry {
    std::string pattern;
    PatternTexts texts;
    std::string formula{};
    bool operator==(const HistoryEntry&) const = default;
};

class History {
public:
    explicit History(std::size_t limit) : limit_(limit) {}

    // A render that is not a step through the history itself.
    void add(const HistoryEntry& entry)
    {
        entries_.resize(std::size_t(current_ + 1));
        if (entries_.empty() || !(entries_.back() == entry)) {
            entries_.push_back(entry);
            if (entries_.size() > limit_)
                entries_.erase(entries_.begin());
        }
        current_ = int(entries_.size()) - 1;
    }
    // The entry `index`, now the current one; null (nothing changed) when
    // there is none.
    const HistoryEntry* moveTo(int index)
    {
        if (index < 0 || index >= int(entries_.size()))
            return nullptr;
        current_ = index;
        return &entries_[std::size_t(index)];
    }
    const HistoryEntry* at(int index) const
    {
        return index < 0 || index >= int(entries_.size()) ? nullptr : &entries_[std::size_t(index)];
    }
    int current() const { return current_; }
    bool canGoBack() const { return current_ > 0; }
    bool canGoForward() const { return current_ >= 0 && current_ + 1 < int(entries_.size()); }
    const std::vector<HistoryEntry>& entries() const { return entries_; }

private:
    std::size_t limit_;
    std::vector<HistoryEntry> entries_;
    int current_ = -1;
};

}  // namespace glimra
