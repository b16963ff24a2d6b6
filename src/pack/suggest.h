// "Did you mean": the known word nearest to a misspelt one, for commands, options, manifest keys
// and names.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace pack {

// The edit distance of two words (a letter added, dropped, changed, or two neighbours swapped),
// ASCII letters compared without case.
inline size_t EditDistance(const std::string& a, const std::string& b) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t change = fold(a[i - 1]) == fold(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && fold(a[i - 1]) == fold(b[j - 2]) && fold(a[i - 2]) == fold(b[j - 1])) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// The candidate nearest to `word` when it is near enough to be a slip (one edit in a short word,
// two from five letters on, three from nine on), else "".
inline std::string NearestWord(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = (word.size() >= 9 ? 3 : word.size() >= 5 ? 2 : 1) + 1;
    for (const auto& candidate : candidates) {
        size_t distance = EditDistance(word, candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

// " (did you mean "x"?)" for the nearest candidate, or "".
inline std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates) {
    std::string nearest = NearestWord(word, candidates);
    return nearest.empty() ? "" : " (did you mean \"" + nearest + "\"?)";
}

}  // namespace pack
