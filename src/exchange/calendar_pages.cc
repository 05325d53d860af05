#include "exchange/calendar_pages.h"

#include <algorithm>
#include <cmath>

#include "config/settings_snapshot.h"
#include "exchange/deck_settings.h"
#include "exchange/response_envelope.h"
#include "logging/event_ids.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "support/convert.h"
#include "support/date_format.h"

namespace qv {

namespace {

constexpr double kWindowDays = 365;

int64_t DecimalDigits(int64_t value) {
  return static_cast<int64_t>(std::to_string(value).size());
}

int64_t Length(const std::string& text) {
  return static_cast<int64_t>(text.size());
}

// The deck's template and the response header, and the character set and the title as they stand
// in the deck, with at least the room the budget has always kept for them.
int64_t EnvelopeReserveFor(const std::string& char_set, const std::string& title) {
  return static_cast<int64_t>(kDeckTemplate.size() + kResponseHeader.size()) +
         std::max(TWCCalendar::kCharSetRoom, Length(char_set)) +
         std::max(TWCCalendar::kTitleRoom, Length(title));
}

}  // namespace

TWCCalendar::TWCCalendar(const std::shared_ptr<cdo::Session>& session, std::string mailbox,
                         std::string password, std::string position, int32_t max_pdu)
    : Mailbox(std::move(mailbox)),
      Password(std::move(password)),
      Position(std::move(position)),
      MaxPdu(max_pdu),
      charset_(ConfiguredDeckCharset()),
      envelope_reserve_(EnvelopeReserveFor(Config->CharSet, DeckTitle())),
      link_mailbox_(LinkValue(Mailbox)),
      link_password_(LinkValue(Password)) {
  TraceWriter->Trace("CDO GetDefaultFolder", 3);
  CalendarFolder = session->GetDefaultFolder(cdo::CdoDefaultFolderCalendar);
}

std::shared_ptr<cdo::Messages> TWCCalendar::GetMessages() {
  const TDateTime today = Date();
  auto messages = CalendarFolder->Messages();
  auto filter = messages->Filter();
  filter->SetField(cdo::CdoPR_START_DATE, today + kWindowDays);
  filter->SetField(cdo::CdoPR_END_DATE, today);
  return messages;
}

bool TWCCalendar::GotoItem(cdo::Messages& messages, std::shared_ptr<cdo::AppointmentItem>* item,
                           int64_t count) {
  *item = messages.Seek(std::max<int64_t>(count, 0));
  return *item != nullptr;
}

bool TWCCalendar::NextItem(cdo::Messages& messages, std::shared_ptr<cdo::AppointmentItem>* item) {
  *item = messages.GetNext();
  return *item != nullptr;
}

bool TWCCalendar::PreviousItem(cdo::Messages& messages, std::shared_ptr<cdo::AppointmentItem>* item) {
  *item = messages.GetPrevious();
  return *item != nullptr;
}

int64_t TWCCalendar::LinkLength(int64_t index) const {
  return kLinkReserve + static_cast<int64_t>(link_mailbox_.size() + link_password_.size()) +
         DecimalDigits(index);
}

int64_t TWCCalendar::PageBudget(int factor, int64_t index) const {
  return static_cast<int64_t>(MaxPdu) - envelope_reserve_ - factor * LinkLength(index);
}

std::string TWCCalendar::Link(std::string_view kind, int64_t index) const {
  return PageLink(link_mailbox_, link_password_, kind, index);
}

std::string TWCCalendar::FormattedText(TDateTime value, const std::string& pattern) const {
  return PageText(FormatDateTime(value, pattern), charset_);
}

std::string TWCCalendar::DayHeader(cdo::AppointmentItem& item, int64_t* last_day) const {
  const TDateTime start = item.StartTime();
  const auto day = static_cast<int64_t>(std::trunc(start));
  if (day == *last_day) return std::string();
  *last_day = day;
  return "** " + FormattedText(start, Config->DateFormat) + " **<br/>";
}

std::string TWCCalendar::ListTime(cdo::AppointmentItem& item) const {
  return item.AllDayEvent() ? std::string("--:--") : FormattedText(item.StartTime(), Config->TimeFormat);
}

std::string TWCCalendar::ListEntry(int64_t index, const std::string& time, const std::string& subject) const {
  return Anchor(Link("CO", index), time + " " + subject) + "<br/>";
}

bool TWCCalendar::AddListEntry(cdo::AppointmentItem& item, std::string* page, int64_t index, int64_t budget,
                               int64_t* last_day) {
  const std::string header = DayHeader(item, last_day);
  if (Length(*page) + Length(header) >= budget) return false;
  *page += header;

  const std::string time = ListTime(item);
  const std::string subject = PageText(FirstChars(item.Subject(), kListEntryText - Length(time)), charset_);
  const std::string entry = ListEntry(index, time, subject);
  if (Length(*page) + Length(entry) >= budget) return false;
  *page += entry;
  return true;
}

void TWCCalendar::AddFirstListEntry(cdo::AppointmentItem& item, std::string* page, int64_t index,
                                    int64_t budget, int64_t* last_day) {
  *page += DayHeader(item, last_day);
  const std::string time = ListTime(item);
  const std::string subject = FirstChars(item.Subject(), kListEntryText - Length(time));
  const std::string whole = ListEntry(index, time, PageText(subject, charset_));
  if (Length(*page) + Length(whole) < budget) {
    *page += whole;
    return;
  }
  // What stays below the budget next to the entry without its subject.
  const int64_t room = budget - 1 - Length(*page) - Length(ListEntry(index, time, ""));
  *page += ListEntry(index, time, PageTextWithin(subject, room, charset_));
}

int64_t TWCCalendar::GetPreviousPageStart(cdo::Messages& messages, int64_t position) {
  const int64_t budget = PageBudget(kListLinks, position);
  std::string scratch;
  int64_t last_day = 0;
  std::shared_ptr<cdo::AppointmentItem> item;
  if (!GotoItem(messages, &item, position)) return 0;
  // The position's own appointment opens its page whatever the budget, so the walk back starts below it.
  AddFirstListEntry(*item, &scratch, position, budget, &last_day);
  int64_t result = position - 1;
  while (PreviousItem(messages, &item) && AddListEntry(*item, &scratch, result, budget, &last_day)) --result;
  return result < 0 ? 0 : result;
}

int64_t TWCCalendar::StartIndex() const {
  const std::optional<int32_t> index = TryStrToInt(Position);
  if (!index) {
    TraceWriter->Trace(Position + " is not a valid CaledarItem", 3);
    EventLog->WriteEvent(eltWarning, 0, QV_MSG_PAGE_BUILD, "CalendarItem " + Position, "Mailbox " + Mailbox);
    return 0;
  }
  return *index < 0 ? 0 : *index;
}

std::string TWCCalendar::GetAppointmentList() {
  const int64_t start = StartIndex();
  const int64_t budget = PageBudget(kListLinks, start);
  const auto messages = GetMessages();
  std::shared_ptr<cdo::AppointmentItem> item;
  if (!GotoItem(*messages, &item, start)) return kNoAppointments;

  std::string page;
  int64_t last_day = 0;
  AddFirstListEntry(*item, &page, start, budget, &last_day);
  int64_t index = start + 1;
  bool more = NextItem(*messages, &item);
  while (more) {
    if (!AddListEntry(*item, &page, index, budget, &last_day)) break;
    ++index;
    more = NextItem(*messages, &item);
  }
  if (start > 0) page += Anchor(Link("CA", GetPreviousPageStart(*messages, start)), "&lt;&lt;");
  if (more) page += " " + Anchor(Link("CA", index), "&gt;&gt;");
  return page;
}

void TWCCalendar::AppendProperty(std::string* text, const char* label, cdo::AppointmentItem& item,
                                 std::string (cdo::AppointmentItem::*read)(), int64_t budget) const {
  const int64_t count = budget - Length(*text) - static_cast<int64_t>(std::char_traits<char>::length(label));
  if (count <= 0) return;
  const std::string value = PageTextWithin((item.*read)(), count, charset_);
  if (value.empty()) return;
  *text += label;
  *text += "<br/>";
  *text += value;
  *text += "<br/>";
}

std::string TWCCalendar::GetAppointment() {
  const int64_t index = StartIndex();
  const int64_t budget = PageBudget(kDetailLinks, index);
  const auto messages = GetMessages();
  std::shared_ptr<cdo::AppointmentItem> item;
  if (!GotoItem(*messages, &item, index)) return kNoAppointments;

  // The patterns' texts are escaped, the arrows before them already are.
  const std::string& date_format = Config->DateFormat;
  const std::string date_time_format = date_format + " " + Config->TimeFormat;
  std::string text;
  if (item->AllDayEvent()) {
    text = "|-&#62; " + FormattedText(item->StartTime(), date_format + " --:--") + "<br/>";
  } else {
    text = "|-&#62; " + FormattedText(item->StartTime(), date_time_format) + "<br/>" + "-&#62;| " +
           FormattedText(item->EndTime(), date_time_format) + "<br/>";
  }
  AppendProperty(&text, "Subject:", *item, &cdo::AppointmentItem::Subject, budget);
  AppendProperty(&text, "Location:", *item, &cdo::AppointmentItem::Location, budget);
  AppendProperty(&text, "Text:", *item, &cdo::AppointmentItem::Text, budget);

  bool linked = false;
  if (index > 0) {
    text += Anchor(Link("CO", index - 1), "&lt;&lt;");
    linked = true;
  }
  if (NextItem(*messages, &item)) {
    text += " " + Anchor(Link("CO", index + 1), "&gt;&gt;");
    linked = true;
  }
  if (linked) text += " ";
  text += Anchor(Link("CA", index), "CAL");
  return text;
}

}  // namespace qv
