// The calendar that the end-to-end tests browse with a phone: a few weeks around today, made when the
// test runs, with timed, all-day and recurring appointments, long texts and texts that need escaping;
// enough for several list pages of the default page size. It gives the iCalendar file to import and
// what the phone should show of each appointment, in the C locale's date and time patterns.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/date_time.h"

namespace qv::testing {

// An event as it goes into the calendar, its days counted from today.
struct PhoneEvent {
  std::string uid;
  int first_day = 0;
  int start_minute = -1;  // minute of the day; -1 for an all-day event
  int length = 0;         // minutes, or days for an all-day event
  int every_days = 0;     // recurring: the days between occurrences
  int count = 1;          // the number of occurrences
  // Windows-1252, as the phone gets them.
  std::string subject;
  std::string location;
  std::string text;
};

// One occurrence, as the pages show it.
struct PhoneAppointment {
  int day = 0;
  int start_minute = -1;
  int end_minute = 0;
  const PhoneEvent* event = nullptr;

  bool AllDay() const { return start_minute < 0; }
};

// The date and time patterns of the C locale: M/d/yyyy and h:nn AM.
inline std::string PhoneDate(int day) {
  const DateTimeParts parts = DecodeDateTime(Date() + day);
  return std::to_string(parts.month) + "/" + std::to_string(parts.day) + "/" + std::to_string(parts.year);
}

inline std::string PhoneTime(int minute) {
  const int hour = minute / 60 % 24;
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d %s", hour % 12 == 0 ? 12 : hour % 12, minute % 60,
                hour < 12 ? "AM" : "PM");
  return text;
}

// The compiler of the gateway drops the blanks at the ends of every text.
inline std::string Trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return "";
  return text.substr(start, text.find_last_not_of(' ') - start + 1);
}

class PhoneCalendar {
 public:
  PhoneCalendar() {
    const std::string review_text =
        "Agenda: 1. Figures of the quarter and how they compare with the plan. 2. The projects that slipped, "
        "and why; what we learnt from them. 3. Hiring for the next two quarters, team by team. 4. The new "
        "office layout and the move in spring. 5. Any other business. Please read the report beforehand; "
        "it is in the shared folder under Reviews, with last quarter's figures beside it for comparison. "
        "Questions to the department's office by Friday, please, so that the answers can be prepared.";
    events_ = {
        {"team", 0, 9 * 60, 60, 7, 8, "Team meeting", "Room 4.12",
         "Weekly round: what was done, what comes next, who needs help."},
        {"standup", 1, 9 * 60 + 30, 15, 1, 20, "Stand-up", "Kitchen", ""},
        {"lunch", 1, 12 * 60 + 30, 60, 0, 1, "R&D <$5> lunch with Ann & Bob", "Caf\xe9 Ol\xe9",
         "Menu of the day for $5 & a coffee; bring the <draft> plan."},
        {"holiday", 2, -1, 1, 0, 1, "Company holiday", "", ""},
        {"review", 3, 14 * 60, 150, 0, 1, "Quarterly review with the whole department",
         "Board room, 7th floor", review_text},
        {"dentist", 5, 8 * 60 + 15, 45, 0, 1, "Dentist", "Dr. Weiss, Main Street 12", ""},
        {"budget", 6, 11 * 60, 60, 28, 6, "Budget review", "", ""},
        {"conference", 10, -1, 3, 0, 1, "Conference trip", "Lisbon", ""},
        {"dinner", 14, 19 * 60, 210, 0, 1, "Birthday dinner", "Chez Marie", ""},
    };
    for (const auto& event : events_) {
      for (int i = 0; i < event.count; ++i) {
        PhoneAppointment appointment;
        appointment.day = event.first_day + i * event.every_days;
        appointment.start_minute = event.start_minute;
        appointment.end_minute = event.start_minute + event.length;
        appointment.event = &event;
        appointments_.push_back(appointment);
      }
    }
    // The order of the pages: by start; all-day events start at midnight. No two start together.
    std::sort(appointments_.begin(), appointments_.end(), [](const auto& a, const auto& b) {
      return a.day != b.day ? a.day < b.day : a.start_minute < b.start_minute;
    });
  }
  PhoneCalendar(const PhoneCalendar&) = delete;
  PhoneCalendar& operator=(const PhoneCalendar&) = delete;

  const std::vector<PhoneAppointment>& Appointments() const { return appointments_; }

  // The index of the first occurrence of the event.
  size_t IndexOf(const std::string& uid) const {
    for (size_t i = 0; i < appointments_.size(); ++i) {
      if (appointments_[i].event->uid == uid) return i;
    }
    return appointments_.size();
  }

  // The label of an appointment's link on a list page: the time and as much of the subject as makes
  // 17 characters with it.
  std::string ListLabel(size_t index) const {
    const PhoneAppointment& appointment = appointments_.at(index);
    const std::string time = appointment.AllDay() ? "--:--" : PhoneTime(appointment.start_minute);
    return Trimmed(time + " " + appointment.event->subject.substr(0, 17 - time.size()));
  }

  // The day header above the first appointment of a day on a list page.
  std::string DayHeader(size_t index) const { return "** " + PhoneDate(appointments_.at(index).day) + " **"; }

  // The texts of a detail page whose properties are shown whole, before its links.
  std::vector<std::string> DetailTexts(size_t index) const {
    const PhoneAppointment& appointment = appointments_.at(index);
    std::vector<std::string> texts;
    if (appointment.AllDay()) {
      texts.push_back("|-> " + PhoneDate(appointment.day) + " --:--");
    } else {
      texts.push_back("|-> " + PhoneDate(appointment.day) + " " + PhoneTime(appointment.start_minute));
      texts.push_back("->| " + PhoneDate(appointment.day + appointment.end_minute / (24 * 60)) + " " +
                      PhoneTime(appointment.end_minute));
    }
    for (const auto& [label, value] :
         {std::pair<std::string, std::string>{"Subject:", appointment.event->subject},
          {"Location:", appointment.event->location},
          {"Text:", appointment.event->text}}) {
      if (value.empty()) continue;
      texts.push_back(label);
      texts.push_back(Trimmed(value));
    }
    return texts;
  }

  // The iCalendar file: floating local times, recurring events with a rule, texts in UTF-8.
  std::string Ics() const {
    std::string ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//End-to-end//EN\r\n";
    for (const auto& event : events_) {
      ics += "BEGIN:VEVENT\r\nUID:" + event.uid + "@e2e.quorvane\r\nDTSTAMP:20260101T000000Z\r\n";
      if (event.start_minute < 0) {
        ics += "DTSTART;VALUE=DATE:" + IcsDate(event.first_day) + "\r\n";
        ics += "DTEND;VALUE=DATE:" + IcsDate(event.first_day + event.length) + "\r\n";
      } else {
        ics += "DTSTART:" + IcsDate(event.first_day) + IcsTime(event.start_minute) + "\r\n";
        ics += "DURATION:PT" + std::to_string(event.length) + "M\r\n";
      }
      if (event.count > 1) {
        ics += event.every_days % 7 == 0
                   ? "RRULE:FREQ=WEEKLY;INTERVAL=" + std::to_string(event.every_days / 7)
                   : "RRULE:FREQ=DAILY;INTERVAL=" + std::to_string(event.every_days);
        ics += ";COUNT=" + std::to_string(event.count) + "\r\n";
      }
      ics += Folded("SUMMARY:" + IcsText(event.subject));
      if (!event.location.empty()) ics += Folded("LOCATION:" + IcsText(event.location));
      if (!event.text.empty()) ics += Folded("DESCRIPTION:" + IcsText(event.text));
      ics += "END:VEVENT\r\n";
    }
    return ics + "END:VCALENDAR\r\n";
  }

 private:
  static std::string IcsDate(int day) {
    const DateTimeParts parts = DecodeDateTime(Date() + day);
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", parts.year, parts.month, parts.day);
    return text;
  }

  static std::string IcsTime(int minute) {
    char text[16];
    std::snprintf(text, sizeof text, "T%02d%02d00", minute / 60, minute % 60);
    return text;
  }

  // A text value: Latin-1 into UTF-8, with the escapes of the format.
  static std::string IcsText(const std::string& text) {
    std::string result;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == ',' || c == ';' || c == '\\') {
        result += {'\\', c};
      } else if (byte >= 0x80) {
        result += {static_cast<char>(0xC0 | byte >> 6), static_cast<char>(0x80 | (byte & 0x3F))};
      } else {
        result += c;
      }
    }
    return result;
  }

  // A content line folded at 74 bytes, never inside a UTF-8 sequence.
  static std::string Folded(const std::string& line) {
    std::string result;
    size_t taken = 0;
    while (line.size() - taken > 74) {
      size_t cut = taken + 74;
      while ((static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
      result += line.substr(taken, cut - taken) + "\r\n ";
      taken = cut;
    }
    return result + line.substr(taken) + "\r\n";
  }

  std::vector<PhoneEvent> events_;
  std::vector<PhoneAppointment> appointments_;
};

}  // namespace qv::testing
