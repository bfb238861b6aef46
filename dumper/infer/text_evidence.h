// Whether a column's values, valid text of their character set one by
// one, are text rather than other bytes that happen to be valid: RAW
// values of a few bytes often are in a single-byte set, and a binary
// number often is in UTF-16. Text is made of letters, digits and blanks,
// mostly of one script; other bytes read as a jumble of symbols and
// scripts. The evidence is weighed on a column's distinct values, as
// binary_numbers.h weighs numbers, so that the two can be compared.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "format/byte_view.h"

struct Charset;

namespace infer {

// The kinds of characters the model tells apart.
enum class CharacterClass : std::uint8_t {
    Lower,  // a to z
    Upper,  // A to Z
    Digit,  // 0 to 9
    Blank,
    Punctuation,  // the rest of ASCII: punctuation, symbols, tab, line feed, carriage return
    Latin,        // letters beyond ASCII of each script
    Greek,
    Cyrillic,
    HebrewArabic,
    Indic,  // and Thai
    Han,
    Kana,
    Hangul,
    Other,  // symbols, punctuation and letters of other scripts beyond ASCII
};
constexpr std::size_t kCharacterClassCount = 14;

CharacterClass character_class(std::uint32_t code);

// The text of one character set as the model weighs it: for each model of
// a column's text, the log of each class's chance per character.
class TextModel {
public:
    // The database character set (nullptr: AL32UTF8), or UTF-16.
    static TextModel database(const Charset* charset);
    static TextModel national();

    static constexpr std::size_t kModels = 11;  // three kinds of ASCII text, and text of each script
    double log_chance(std::size_t model, CharacterClass c) const
    {
        return log_chances_[model][static_cast<std::size_t>(c)];
    }

private:
    explicit TextModel(const std::array<double, kCharacterClassCount>& characters);
    std::array<std::array<double, kCharacterClassCount>, kModels> log_chances_{};
};

class TextEvidence {
public:
    // Distinct values weighed, as BinaryNumbers keeps, among the first
    // values offered.
    static constexpr std::size_t kMostKept = 32;
    static constexpr std::uint64_t kMostOffered = 4096;

    // Whether a value (its bytes as stored) that its type accepts is to be
    // weighed: true for the first of each of the first distinct values,
    // which add() is then called for with its characters' code points.
    bool is_new(ByteView stored);
    void add(ByteView stored, std::span<const std::uint32_t> codes, const TextModel& model);

    // The natural logarithm of how many times likelier the distinct
    // values are as text than as random bytes; 0 for none.
    double log_evidence() const;

    std::size_t held_bytes() const { return kept_.capacity() * sizeof(std::uint64_t); }

private:
    std::vector<std::uint64_t> kept_;  // hashes of the values
    std::uint64_t offered_ = 0;
    std::array<double, TextModel::kModels> logs_{};
};

}  // namespace infer
