#include "infer/text_evidence.h"

#include <algorithm>
#include <cmath>

#include "values/charsets.h"

namespace infer {

namespace {

using C = CharacterClass;

constexpr std::size_t index(C c) { return static_cast<std::size_t>(c); }

struct CodeRange {
    std::uint32_t first;
    std::uint32_t last;
    C kind;
};
constexpr CodeRange kScriptRanges[] = {
    {0x00C0, 0x024F, C::Latin},  {0x1E00, 0x1EFF, C::Latin},    {0x0370, 0x03FF, C::Greek},
    {0x1F00, 0x1FFF, C::Greek},  {0x0400, 0x052F, C::Cyrillic}, {0x0590, 0x06FF, C::HebrewArabic},
    {0x0900, 0x0E7F, C::Indic},  {0x3400, 0x4DBF, C::Han},      {0x4E00, 0x9FFF, C::Han},
    {0xF900, 0xFAFF, C::Han},    {0x20000, 0x2FFFF, C::Han},    {0x3040, 0x30FF, C::Kana},
    {0xFF65, 0xFF9F, C::Kana},   {0xAC00, 0xD7A3, C::Hangul},   {0x1100, 0x11FF, C::Hangul},
    {0x3130, 0x318F, C::Hangul},
};

// How many characters of each class Unicode has, roughly: the scripts'
// letters in the blocks above (Han: only its main block, which the Chinese,
// Japanese and Korean sets draw on), and an estimate of the others that
// text uses.
constexpr std::array<double, kCharacterClassCount> kUnicodeCharacters = {
    26, 26, 10, 1, 35, 654, 400, 304, 368, 1408, 20992, 251, 11524, 30000,
};

// The models of a column's text (judgements, not measurements): text
// mostly of ASCII letters, digits and blanks with a little of any script;
// codes of capitals and digits; numbers written as text; or text mostly of
// one script's letters with ASCII between them. A column is one of them:
// one of the ASCII ones for half the columns, each script for as many of
// the others.
constexpr C kScripts[] = {C::Latin, C::Greek, C::Cyrillic, C::HebrewArabic, C::Indic, C::Han, C::Kana, C::Hangul};
struct AsciiShares {
    double lower, upper, digit, blank, punctuation;
};
constexpr AsciiShares kAsciiTexts[] = {
    {0.45, 0.15, 0.12, 0.12, 0.08},  // words
    {0.03, 0.48, 0.30, 0.05, 0.08},  // codes
    {0.01, 0.01, 0.84, 0.03, 0.06},  // numbers
};
static_assert(std::size(kAsciiTexts) + std::size(kScripts) == TextModel::kModels);
constexpr double kAsciiTextWeight = 0.5;

// What an ASCII model leaves to the other classes: a little of each
// script's letters, and of the other characters.
constexpr double kScriptShareInAscii = 0.005;

std::array<double, kCharacterClassCount> ascii_text_shares(const AsciiShares& ascii)
{
    std::array<double, kCharacterClassCount> shares{};
    shares[index(C::Lower)] = ascii.lower;
    shares[index(C::Upper)] = ascii.upper;
    shares[index(C::Digit)] = ascii.digit;
    shares[index(C::Blank)] = ascii.blank;
    shares[index(C::Punctuation)] = ascii.punctuation;
    for (C script : kScripts) shares[index(script)] = kScriptShareInAscii;
    const double used = ascii.lower + ascii.upper + ascii.digit + ascii.blank + ascii.punctuation;
    shares[index(C::Other)] = 1 - used - kScriptShareInAscii * static_cast<double>(std::size(kScripts));
    return shares;
}

std::array<double, kCharacterClassCount> script_text_shares(C script)
{
    std::array<double, kCharacterClassCount> shares{};
    shares[index(C::Lower)] = 0.15;
    shares[index(C::Upper)] = 0.05;
    shares[index(C::Digit)] = 0.08;
    shares[index(C::Blank)] = 0.12;
    shares[index(C::Punctuation)] = 0.05;
    for (C other : kScripts) shares[index(other)] = other == script ? 0.5 : 0.002;
    shares[index(C::Other)] = 0.036;
    return shares;
}

bool is_ascii_model(std::size_t model) { return model < std::size(kAsciiTexts); }

double model_weight(std::size_t model)
{
    return is_ascii_model(model) ? kAsciiTextWeight / static_cast<double>(std::size(kAsciiTexts))
                                 : (1 - kAsciiTextWeight) / static_cast<double>(std::size(kScripts));
}

bool is_text_character(std::uint32_t code)
{
    if (code < 0x20) return code == 0x09 || code == 0x0A || code == 0x0D;
    return code != 0x7F && (code < 0x80 || code > 0x9F);
}

// The characters of each class a single-byte set has.
std::array<double, kCharacterClassCount> characters_of(const Charset& charset)
{
    std::array<double, kCharacterClassCount> characters{};
    for (std::uint32_t code : charset.bytes)
        if (code != Charset::kLeadByte && code != Charset::kNoCharacter && is_text_character(code))
            ++characters[index(character_class(code))];
    return characters;
}

// The share of values taken for damaged whatever the model: no one value
// weighs more against text than this.
constexpr double kDamagedShare = 0.02;

double log_with_damage(double log)
{
    if (log > 0) return log + std::log((1 - kDamagedShare) + kDamagedShare * std::exp(-log));
    return std::log((1 - kDamagedShare) * std::exp(log) + kDamagedShare);
}

std::uint64_t hash_of(ByteView bytes)
{
    std::uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
    for (std::size_t i = 0; i < bytes.size(); ++i) hash = (hash ^ bytes.u8(i)) * 0x100000001B3u;
    return hash;
}

}  // namespace

CharacterClass character_class(std::uint32_t code)
{
    if (code >= 'a' && code <= 'z') return C::Lower;
    if (code >= 'A' && code <= 'Z') return C::Upper;
    if (code >= '0' && code <= '9') return C::Digit;
    if (code == ' ') return C::Blank;
    if (code < 0x80) return C::Punctuation;
    if (code == 0xD7 || code == 0xF7) return C::Other;  // the multiplication and division signs
    for (const CodeRange& range : kScriptRanges)
        if (code >= range.first && code <= range.last) return range.kind;
    return C::Other;
}

TextModel::TextModel(const std::array<double, kCharacterClassCount>& characters)
{
    for (std::size_t model = 0; model < kModels; ++model) {
        const auto shares = is_ascii_model(model) ? ascii_text_shares(kAsciiTexts[model])
                                                  : script_text_shares(kScripts[model - std::size(kAsciiTexts)]);
        for (std::size_t c = 0; c < kCharacterClassCount; ++c)
            log_chances_[model][c] = std::log(shares[c] / std::max(characters[c], 1.0));
    }
}

TextModel TextModel::database(const Charset* charset)
{
    // A single-byte set's own characters; a multi-byte set has Unicode's
    // classes nearly enough.
    if (charset && charset->kind == Charset::Kind::Table && charset->pairs.empty())
        return TextModel(characters_of(*charset));
    return TextModel(kUnicodeCharacters);
}

TextModel TextModel::national() { return TextModel(kUnicodeCharacters); }

bool TextEvidence::is_new(ByteView stored)
{
    if (kept_.size() >= kMostKept || ++offered_ > kMostOffered) return false;
    const std::uint64_t hash = hash_of(stored);
    if (std::find(kept_.begin(), kept_.end(), hash) != kept_.end()) return false;
    kept_.push_back(hash);
    return true;
}

void TextEvidence::add(ByteView stored, std::span<const std::uint32_t> codes, const TextModel& model)
{
    // Random bytes: 1 / 256 for each byte stored.
    const double random_log = -static_cast<double>(stored.size()) * std::log(256.0);
    std::array<double, kCharacterClassCount> counts{};
    for (std::uint32_t code : codes) ++counts[index(character_class(code))];
    for (std::size_t m = 0; m < TextModel::kModels; ++m) {
        double log = 0;
        for (std::size_t c = 0; c < kCharacterClassCount; ++c)
            if (counts[c] > 0) log += counts[c] * model.log_chance(m, static_cast<C>(c));
        logs_[m] += log_with_damage(log - random_log);
    }
}

double TextEvidence::log_evidence() const
{
    if (kept_.empty()) return 0;
    double most = -HUGE_VAL;
    for (std::size_t m = 0; m < TextModel::kModels; ++m) most = std::max(most, std::log(model_weight(m)) + logs_[m]);
    double sum = 0;
    for (std::size_t m = 0; m < TextModel::kModels; ++m) sum += std::exp(std::log(model_weight(m)) + logs_[m] - most);
    return most + std::log(sum);
}

}  // namespace infer
