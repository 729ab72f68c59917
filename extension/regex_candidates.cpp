#include "extension/regex_candidates.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace orlavine {

namespace {

constexpr std::size_t kPiece = 4;
constexpr std::uint32_t kNoPiece = std::numeric_limits<std::uint32_t>::max();

std::uint32_t pieceAt(std::string_view text, std::size_t at) {
    std::uint32_t piece = 0;
    std::memcpy(&piece, text.data() + at, kPiece);
    return piece;
}

template <class Visit>
void forEachPiece(const PatternLiterals& literals, Visit visit) {
    for (const std::string& text : literals.required) {
        for (std::size_t at = 0; at + kPiece <= text.size(); ++at) {
            visit(pieceAt(text, at));
        }
    }
}

}  // namespace

RegexCandidates::RegexCandidates(std::vector<SectionRegex> regexes)
    : regexes_(std::move(regexes)), filter_(std::size_t{1} << (kFilterBits - 6), 0) {
    // How many patterns contain each piece: the rarest piece of a pattern says most about it
    // (pieces such as "http" or "www." are in nearly all of them).
    std::unordered_map<std::uint32_t, std::uint32_t> patternsWithPiece;
    for (const SectionRegex& entry : regexes_) {
        std::vector<std::uint32_t> pieces;
        forEachPiece(entry.literals, [&](std::uint32_t piece) { pieces.push_back(piece); });
        std::sort(pieces.begin(), pieces.end());
        pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
        for (std::uint32_t piece : pieces) {
            ++patternsWithPiece[piece];
        }
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> chosen;  // piece, pattern
    for (std::size_t i = 0; i < regexes_.size(); ++i) {
        std::uint32_t best = kNoPiece;
        std::uint32_t bestCount = std::numeric_limits<std::uint32_t>::max();
        forEachPiece(regexes_[i].literals, [&](std::uint32_t piece) {
            const std::uint32_t count = patternsWithPiece[piece];
            if (count < bestCount) {
                best = piece;
                bestCount = count;
            }
        });
        const auto index = static_cast<std::uint32_t>(i);
        if (bestCount == std::numeric_limits<std::uint32_t>::max()) {
            unindexed_.push_back(index);
        } else {
            chosen.emplace_back(best, index);
        }
    }
    std::sort(chosen.begin(), chosen.end());
    for (std::size_t i = 0; i < chosen.size();) {
        const std::uint32_t piece = chosen[i].first;
        const auto begin = static_cast<std::uint32_t>(pieceMembers_.size());
        for (; i < chosen.size() && chosen[i].first == piece; ++i) {
            pieceMembers_.push_back(chosen[i].second);
        }
        byPiece_.emplace(piece,
                         std::make_pair(begin, static_cast<std::uint32_t>(pieceMembers_.size())));
        const std::uint32_t bit = (piece * 0x9E3779B1u) >> (32 - kFilterBits);
        filter_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    }
}

void RegexCandidates::collect(std::string_view subject, std::vector<std::uint32_t>& out) const {
    const std::size_t start = out.size();
    out.insert(out.end(), unindexed_.begin(), unindexed_.end());
    if (!byPiece_.empty()) {
        std::vector<std::uint32_t> pieces;
        for (std::size_t at = 0; at + kPiece <= subject.size(); ++at) {
            const std::uint32_t piece = pieceAt(subject, at);
            const std::uint32_t bit = (piece * 0x9E3779B1u) >> (32 - kFilterBits);
            if ((filter_[bit >> 6] >> (bit & 63)) & 1) {
                pieces.push_back(piece);
            }
        }
        std::sort(pieces.begin(), pieces.end());
        pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
        for (std::uint32_t piece : pieces) {
            const auto found = byPiece_.find(piece);
            if (found != byPiece_.end()) {
                out.insert(out.end(), pieceMembers_.begin() + found->second.first,
                           pieceMembers_.begin() + found->second.second);
            }
        }
    }
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
}

}  // namespace orlavine
