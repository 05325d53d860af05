// The settings that go into every deck: the character set named in its XML declaration (CharSet),
// which must be a plain character-set name, and the title (DeckHeader), written as a page text like
// every other text, so that "Smith & Sons" keeps the deck well-formed and "$(P)" stays text.
#pragma once

#include <string>
#include <string_view>

#include "exchange/page_text.h"
#include "platform/errors/exception.h"

namespace qv {

// A setting of the right registry type whose text the service cannot use.
QV_EXCEPTION_CLASS(ESettingError, Exception);

// Letters, digits and "-_.:", at least one: a name that can stand in the XML declaration as it is.
bool IsPlainCharSetName(std::string_view name);

// Checks CharSet once the event log can report it: a name that is not plain raises ESettingError
// "Invalid character set name for 'CharSet': ..." after an error event with the same text, which
// stops the start as a mistyped setting does.
void CheckCharSetSetting();

// How page texts are written for the configured character set.
DeckCharset ConfiguredDeckCharset();

// DeckHeader as it stands in every deck's title.
std::string DeckTitle();

// The response around a page body: the header and the deck with the configured character set and
// title.
std::string DeckResponse(std::string_view body);

}  // namespace qv
