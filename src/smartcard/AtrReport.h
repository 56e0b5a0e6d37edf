#pragma once

#include "smartcard/Atr.h"
#include "smartcard/ReaderFit.h"
#include "smartcard/SmartcardList.h"

#include <optional>
#include <string>
#include <vector>

namespace talvex {

/// Everything the tool says about one card: its ATR decoded, its name,
/// the reader it sits in and how the two suit each other.
struct AtrDiagnosis {
    std::vector<std::uint8_t> received; ///< as the reader delivered it
    DecodedAtr atr;
    AtrTiming timing;
    std::optional<CardName> card;
    std::optional<ReaderCardPort> reader;
    ReaderFit fit;

    std::string cardName() const { return card ? card->name() : kUnknownCard; }
};

AtrDiagnosis diagnoseAtr(const std::vector<std::uint8_t>& bytes, const std::optional<ReaderCardPort>& reader,
                         const std::vector<std::string>& cardListPaths);

/// One line of the readable decoding; `depth` indents it under the one before.
struct ReportLine {
    int depth = 0;
    std::string label;
    std::string value;
};

/// What each byte says, the card's name, the reader's settings and the verdict.
std::vector<ReportLine> describeDiagnosis(const AtrDiagnosis& diagnosis);

/// "label: value" lines, two blanks of indent per depth, "\n" after each.
std::string formatLines(const std::vector<ReportLine>& lines);

/// What a service ticket needs: the programmer, the reader's settings,
/// the ATR and all of its decoding. `serial` and `version` stand in when
/// the reader's own identity did not come.
std::string serviceReport(const AtrDiagnosis& diagnosis, const std::string& serial, const std::string& version);

/// The meaning of a compact-TLV tag of the historical bytes.
std::string compactTlvName(std::uint8_t tag);

} // namespace talvex
