#include "exchange/wc_calendar.h"

#include <cmath>

#include "config/wc_config.h"
#include "exchange/page_text.h"
#include "logging/wc_event_log.h"
#include "logging/wc_trace_writer.h"
#include "support/convert.h"
#include "support/date_format.h"

namespace qv {

namespace {

constexpr uint32_t kMessageBuildEvent = 200;
constexpr double kWindowDays = 365;

int64_t DecimalDigits(int64_t value) {
  return static_cast<int64_t>(std::to_string(value).size());
}

}  // namespace

TWCCalendar::TWCCalendar(const std::shared_ptr<cdo::Session>& session, std::string mailbox,
                         std::string password, std::string position, int32_t max_pdu)
    : Mailbox(std::move(mailbox)),
      Password(std::move(password)),
      Position(std::move(position)),
      MaxPdu(max_pdu),
      link_mailbox_(PageText(Mailbox)),
      link_password_(PageText(Password)) {
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
  *item = messages.GetFirst();
  if (*item == nullptr) return false;
  for (int64_t i = 0; i < count; ++i) {
    *item = messages.GetNext();
    if (*item == nullptr) break;
  }
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
  return static_cast<int64_t>(MaxPdu) - kEnvelopeReserve - factor * LinkLength(index);
}

std::string TWCCalendar::Link(std::string_view kind, int64_t index) const {
  return PageLink(link_mailbox_, link_password_, kind, index);
}

bool TWCCalendar::AddListEntry(cdo::AppointmentItem& item, std::string* page, int64_t index, int64_t budget,
                               int64_t* last_day) {
  const TDateTime start = item.StartTime();
  const auto day = static_cast<int64_t>(std::trunc(start));
  std::string header;
  if (day != *last_day) {
    header = "** " + FormatDateTime(start, Config->DateFormat) + " **<br/>";
    *last_day = day;
  }
  if (static_cast<int64_t>(page->size() + header.size()) >= budget) return false;
  *page += header;

  const std::string time =
      item.AllDayEvent() ? std::string("--:--") : FormatDateTime(start, Config->TimeFormat);
  const int64_t subject_length = kListEntryText - static_cast<int64_t>(time.size());
  const std::string subject = subject_length > 0 ? PageText(FirstChars(item.Subject(), subject_length)) : "";
  const std::string entry = Anchor(Link("CO", index), time + " " + subject) + "<br/>";
  if (static_cast<int64_t>(page->size() + entry.size()) >= budget) return false;
  *page += entry;
  return true;
}

int64_t TWCCalendar::GetPreviousPageStart(cdo::Messages& messages, int64_t position) {
  const int64_t budget = PageBudget(kListLinks, position);
  std::string scratch;
  int64_t last_day = 0;
  std::shared_ptr<cdo::AppointmentItem> item;
  if (!GotoItem(messages, &item, position)) return 0;
  int64_t result = position;
  for (;;) {
    if (!AddListEntry(*item, &scratch, result, budget, &last_day)) break;
    --result;
    if (!PreviousItem(messages, &item)) break;
  }
  return result < 0 ? 0 : result;
}

int64_t TWCCalendar::StartIndex() const {
  const std::optional<int32_t> index = TryStrToInt(Position);
  if (!index) {
    TraceWriter->Trace(Position + " is not a valid CaledarItem", 3);
    EventLog->WriteEvent(eltWarning, 0, kMessageBuildEvent, "CalendarItem " + Position, "Mailbox " + Mailbox);
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
  int64_t index = start;
  bool more = true;
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
                                 std::string (cdo::AppointmentItem::*read)(), int64_t budget) {
  const int64_t count = budget - static_cast<int64_t>(text->size()) -
                        static_cast<int64_t>(std::char_traits<char>::length(label));
  if (count <= 0) return;
  const std::string value = PageText(FirstChars((item.*read)(), count));
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

  const std::string& date_format = Config->DateFormat;
  const std::string& time_format = Config->TimeFormat;
  std::string text;
  if (item->AllDayEvent()) {
    text = FormatDateTime(item->StartTime(), "|-&#62; " + date_format + " --:--") + "<br/>";
  } else {
    text = FormatDateTime(item->StartTime(), "|-&#62; " + date_format + " " + time_format) + "<br/>" +
           FormatDateTime(item->EndTime(), "-&#62;| " + date_format + " " + time_format) + "<br/>";
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
