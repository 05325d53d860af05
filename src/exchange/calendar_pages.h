// TWCCalendar: the calendar pages of one logged-on mailbox. It reads the default calendar folder
// through the messaging library, filtered to the window from today to today + 365 days, and renders
// the appointment list from an index or one appointment, cut so that the page fits the device's
// maximum message size. An appointment's index is its 0-based place in the window in start order; it
// is meaningful for the same mailbox on the same day, and every link of a page carries it.
//
// Why a list page always fits: entries are added only while the page stays below the budget, each
// link is 3 characters shorter than its estimate (so an index one digit longer is still covered), and
// the envelope with the default character set and title stays 14 below its reserve; a title of more
// than 22 characters eats into the page. A detail page fits as well while its texts need no
// references: the property that is cut adds its two "<br/>" beyond the budget, which the links and
// the envelope cover. References make it longer, and a budget below the time lines keeps those and
// the links all the same. DeckHeader, CharSet and the date and time texts go in as they are.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "exchange/messaging_library.h"
#include "exchange/page_text.h"

namespace qv {

class TWCCalendar {
 public:
  // Keeps the request's values and opens the session's default calendar folder. Errors of the
  // messaging library leave the construction.
  TWCCalendar(const std::shared_ptr<cdo::Session>& session, std::string mailbox, std::string password,
              std::string position, int32_t max_pdu);
  TWCCalendar(const TWCCalendar&) = delete;
  TWCCalendar& operator=(const TWCCalendar&) = delete;

  // The list page from the index in Position; "no appointments" when there is none there.
  std::string GetAppointmentList();
  // The page of the one appointment at the index in Position; "no appointments" when there is none.
  std::string GetAppointment();

  // The folder's items filtered to the window from today to today + 365 days.
  std::shared_ptr<cdo::Messages> GetMessages();

  // The item `count` places after the first (the collection's seek), the cursor left there: true when
  // that is an appointment. A count of 0 or less stays on the first.
  static bool GotoItem(cdo::Messages& messages, std::shared_ptr<cdo::AppointmentItem>* item, int64_t count);
  static bool NextItem(cdo::Messages& messages, std::shared_ptr<cdo::AppointmentItem>* item);
  static bool PreviousItem(cdo::Messages& messages, std::shared_ptr<cdo::AppointmentItem>* item);

  // Appends the item's list entry for the index to the page when it fits below the budget, with a
  // day header first when its day differs from the last day (which becomes its day either way).
  // False when the header or the entry does not fit; a header that fitted stays.
  bool AddListEntry(cdo::AppointmentItem& item, std::string* page, int64_t index, int64_t budget,
                    int64_t* last_day);
  // The first entry of a page goes in whatever the budget, so that every list page shows an
  // appointment and its forward link moves on: with its day header, and with its subject cut to
  // what the budget leaves below it (none when nothing is left). Such a page may be over MaxPdu.
  void AddFirstListEntry(cdo::AppointmentItem& item, std::string* page, int64_t index, int64_t budget,
                         int64_t* last_day);

  // The first index of the list page before the one that starts at the position: walking back from
  // the position's own appointment, the latest index that no longer fits a page holding everything
  // up to the position; 0 when all of it fits, and when there is no appointment at the position.
  // Below the position whenever the position is above 0, however small the budget. With entries of
  // other lengths the page before may end an appointment early or reach into this page; going
  // forward, every appointment is shown once.
  int64_t GetPreviousPageStart(cdo::Messages& messages, int64_t position);

  // The bytes left for a page body of `factor` navigation links whose index is `index`:
  // MaxPdu - EnvelopeReserve() - factor * LinkLength(index). Zero or below when nothing fits.
  int64_t PageBudget(int factor, int64_t index) const;
  // The estimate of one navigation link: 53 + the lengths of the mailbox and the password as they
  // stand in links (percent-encoded) + the digits of the index.
  int64_t LinkLength(int64_t index) const;
  // The envelope (269), the header (51), and room for the character set and the title as they stand
  // in the deck: 10 and 16, or their lengths when longer. 346 with the default settings.
  int64_t EnvelopeReserve() const { return envelope_reserve_; }

  // The number of links a page may carry.
  static constexpr int kListLinks = 2;
  static constexpr int kDetailLinks = 3;
  static constexpr int64_t kCharSetRoom = 10;
  static constexpr int64_t kTitleRoom = 16;
  static constexpr int64_t kLinkReserve = 53;
  // The list shows the time and the start of the subject in this many characters.
  static constexpr int64_t kListEntryText = 17;
  static constexpr const char* kNoAppointments = "no appointments";

  std::shared_ptr<cdo::Folder> CalendarFolder;
  const std::string Mailbox;   // as received
  const std::string Password;  // as received
  const std::string Position;
  const int32_t MaxPdu;

 private:
  // Position as an index: on a text that is no decimal integer the trace line, event 200 and 0; an
  // index below 0 (never in the service's own links) counts as 0.
  int64_t StartIndex() const;
  std::string Link(std::string_view kind, int64_t index) const;
  // The day header of the item when its day differs from the last day, which becomes its day; else
  // empty.
  std::string DayHeader(cdo::AppointmentItem& item, int64_t* last_day) const;
  // The time of a list entry as it stands in the page: the time pattern's text, or "--:--".
  std::string ListTime(cdo::AppointmentItem& item) const;
  // The list entry: the link to the appointment, labelled with the time, a blank and the subject
  // (a page text), and "<br/>".
  std::string ListEntry(int64_t index, const std::string& time, const std::string& subject) const;
  // A date-time pattern's text of a value as it stands in a page.
  std::string FormattedText(TDateTime value, const std::string& pattern) const;
  // Appends the label, "<br/>", the value and "<br/>" when the value, cut so that its page text fits
  // the bytes left (budget - text length - label length), is not empty.
  void AppendProperty(std::string* text, const char* label, cdo::AppointmentItem& item,
                      std::string (cdo::AppointmentItem::*read)(), int64_t budget) const;

  // How texts are written for the deck's character set.
  const DeckCharset charset_;
  const int64_t envelope_reserve_;
  // Mailbox and password as they stand in links.
  const std::string link_mailbox_;
  const std::string link_password_;
};

}  // namespace qv
