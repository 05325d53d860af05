// The messaging library's automation driver against a library of the test's own: objects of ours
// behind the system's IDispatch, their session class registered with the system's COM in this process,
// so that every call crosses real GetIDsOfNames and Invoke with VARIANTs, BSTRs and SAFEARRAYs.
// The objects keep a journal of the members called, how (method, property get or put) and with what,
// which the tests compare exactly. Not covered: the real library (not redistributable, and not under
// Wine), and a library object in another apartment (the system's marshalling of IDispatch between a
// request thread and an apartment-threaded library).
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "exchange/calendar_store_driver.h"
#include "exchange/cdo_automation_driver.h"
#include "exchange/messaging_library.h"
#include "platform/com/automation.h"
#include "platform/com/com.h"
#include "support/date_time.h"

namespace qv {
namespace {

using platform::AutomationObject;
using platform::ExcepInfo;
using platform::HRESULT;
using platform::Variant;
using platform::VariantKind;

constexpr uint16_t kMethod = platform::DISPATCH_METHOD;
constexpr uint16_t kGet = platform::DISPATCH_PROPERTYGET;
constexpr uint16_t kPut = platform::DISPATCH_PROPERTYPUT;

// What the library saw: the object, the member (its name, or its number for the session) and how
// it was invoked, and the arguments.
struct Seen {
  std::string member;
  uint16_t flags;
  std::vector<Variant> args;
};

using Handler = std::function<HRESULT(const std::vector<Variant>& args, Variant* result, ExcepInfo* fault)>;

// A member that answers with a value.
Handler Gives(Variant value) {
  return [value](const std::vector<Variant>&, Variant* result, ExcepInfo*) {
    *result = value;
    return platform::S_OK;
  };
}

class FakeObject : public AutomationObject {
 public:
  FakeObject(std::string kind, std::vector<Seen>* journal) : kind_(std::move(kind)), journal_(journal) {}

  // A member called by name (given an arbitrary dispatch identifier) or, for the session, by number.
  void OnName(const std::string& name, Handler handler) {
    const int32_t dispid = 1000 + static_cast<int32_t>(members_.size());
    ids_[std::u16string(name.begin(), name.end())] = dispid;
    members_[dispid] = {name, std::move(handler)};
  }
  void OnId(int32_t dispid, Handler handler) {
    members_[dispid] = {std::to_string(dispid), std::move(handler)};
  }

  HRESULT GetIDOfName(const std::u16string& name, int32_t* dispid) override {
    const auto found = ids_.find(name);
    if (found == ids_.end()) return platform::DISP_E_UNKNOWNNAME;
    *dispid = found->second;
    return platform::S_OK;
  }

  HRESULT Invoke(int32_t dispid, uint16_t flags, const std::vector<Variant>& args, Variant* result,
                 ExcepInfo* fault) override {
    const auto found = members_.find(dispid);
    if (found == members_.end()) return platform::DISP_E_MEMBERNOTFOUND;
    journal_->push_back({kind_ + "." + found->second.first, flags, args});
    return found->second.second(args, result, fault);
  }

 private:
  std::string kind_;
  std::vector<Seen>* journal_;
  std::map<std::u16string, int32_t> ids_;
  std::map<int32_t, std::pair<std::string, Handler>> members_;
};

std::vector<std::string> Members(const std::vector<Seen>& journal) {
  std::vector<std::string> members;
  for (const Seen& seen : journal) members.push_back(seen.member);
  return members;
}

class CdoAutomationDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SUCCEEDED(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED)));
    session_ = std::make_shared<FakeObject>("session", &journal_);
    RegisterCdoAutomationDriver();
  }

  void TearDown() override {
    if (registered_) {
      EXPECT_EQ(platform::CoRevokeAutomationClass(cookie_), platform::S_OK);
    }
    platform::CoRevokeClass(cdo::CLSID_Session);
    platform::CoUninitialize();
  }

  // The test's library is "installed": the system creates its session for the class identifier.
  void Install(const platform::Guid& iid = cdo::IID_Session) {
    ASSERT_EQ(platform::CoRegisterAutomationClass(
                  cdo::CLSID_Session, iid, [this] { return session_; }, &cookie_),
              platform::S_OK);
    registered_ = true;
  }

  std::shared_ptr<FakeObject> NewObject(const std::string& kind) {
    return std::make_shared<FakeObject>(kind, &journal_);
  }

  std::vector<Seen> journal_;
  std::shared_ptr<FakeObject> session_;
  uint32_t cookie_ = 0;
  bool registered_ = false;
};

TEST_F(CdoAutomationDriver, SessionMembersGoByNumberWithTheLogonArgumentsInOrder) {
  session_->OnId(cdo::DISPID_Version, Gives(Variant::Text(u"1.21")));
  session_->OnId(cdo::DISPID_Logon, Gives(Variant()));
  session_->OnId(cdo::DISPID_Logoff, Gives(Variant()));
  Install();

  auto session = cdo::CreateSession();
  EXPECT_EQ(session->Version(), "1.21");
  session->Logon(std::nullopt, std::nullopt, false, true, 0, true, std::string("MAILHOST\r\nM\xFCller \x80"));
  session->Logoff();

  ASSERT_EQ(Members(journal_), (std::vector<std::string>{"session.44", "session.119", "session.118"}));
  EXPECT_EQ(journal_[0].flags, kGet);
  EXPECT_TRUE(journal_[0].args.empty());
  EXPECT_EQ(journal_[1].flags, kMethod);
  EXPECT_EQ(journal_[2].flags, kMethod);
  const std::vector<Variant>& args = journal_[1].args;
  ASSERT_EQ(args.size(), 7u);
  for (int omitted : {0, 1}) {
    EXPECT_EQ(args[omitted].kind, VariantKind::Error) << omitted;
    EXPECT_EQ(args[omitted].error, platform::DISP_E_PARAMNOTFOUND) << omitted;
  }
  EXPECT_EQ(args[2].kind, VariantKind::Bool);
  EXPECT_FALSE(args[2].boolean);
  EXPECT_EQ(args[3].kind, VariantKind::Bool);
  EXPECT_TRUE(args[3].boolean);
  EXPECT_EQ(args[4].kind, VariantKind::Int);
  EXPECT_EQ(args[4].integer, 0);
  EXPECT_EQ(args[5].kind, VariantKind::Bool);
  EXPECT_TRUE(args[5].boolean);
  // The Windows-1252 text arrives as UTF-16: ü stays U+00FC, the euro sign 0x80 becomes U+20AC.
  EXPECT_EQ(args[6].kind, VariantKind::Text);
  EXPECT_EQ(args[6].text, u"MAILHOST\r\nM\u00FCller \u20AC");
}

TEST_F(CdoAutomationDriver, TheCurrentUserGivesItsNameAndAccountByName) {
  auto entry = NewObject("entry");
  auto field = NewObject("field");
  entry->OnName("Name", Gives(Variant::Text(u"J\u00F6rg \u2019")));
  entry->OnName("Fields", Gives(Variant::Object(field)));
  int value_reads = 0;
  field->OnName("Value", [&](const std::vector<Variant>&, Variant* result, ExcepInfo*) {
    // First as hexadecimal text, then as the bytes themselves.
    *result =
        ++value_reads == 1 ? Variant::Text(u"0105AB") : Variant::Bytes(std::string("\x01\x05\xAB\x00", 4));
    return platform::S_OK;
  });
  session_->OnId(cdo::DISPID_CurrentUser, Gives(Variant::Object(entry)));
  Install();

  auto user = cdo::CreateSession()->CurrentUser();
  EXPECT_EQ(user->Name(), "J\xF6rg \x92");
  auto account = user->Fields(cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT);
  EXPECT_EQ(account->Value(), "0105AB");
  EXPECT_EQ(account->Value(), "0105AB00");

  ASSERT_EQ(Members(journal_), (std::vector<std::string>{"session.1", "entry.Name", "entry.Fields",
                                                         "field.Value", "field.Value"}));
  EXPECT_EQ(journal_[0].flags, kGet);
  for (size_t i = 1; i < journal_.size(); ++i)
    EXPECT_EQ(journal_[i].flags, kMethod | kGet) << journal_[i].member;
  ASSERT_EQ(journal_[2].args.size(), 1u);
  EXPECT_EQ(journal_[2].args[0].kind, VariantKind::Int);
  EXPECT_EQ(static_cast<uint32_t>(journal_[2].args[0].integer), cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT);
}

TEST_F(CdoAutomationDriver, TheCalendarIsFilteredAndWalkedWithDatesBooleansAndTexts) {
  const TDateTime start = EncodeDate(2026, 12, 24) + EncodeTime(18, 30, 0, 0);
  auto folder = NewObject("folder");
  auto messages = NewObject("messages");
  auto filter = NewObject("filter");
  auto item = NewObject("item");
  session_->OnId(cdo::DISPID_GetDefaultFolder, Gives(Variant::Object(folder)));
  folder->OnName("Messages", Gives(Variant::Object(messages)));
  messages->OnName("Filter", Gives(Variant::Object(filter)));
  filter->OnName("Fields", Gives(Variant()));
  messages->OnName("GetFirst", Gives(Variant::Object(item)));
  messages->OnName("GetNext", Gives(Variant()));                     // VT_EMPTY past the end
  messages->OnName("GetPrevious", Gives(Variant::Object(nullptr)));  // a null IDispatch
  item->OnName("AllDayEvent", Gives(Variant::Bool(true)));
  item->OnName("StartTime", Gives(Variant::Date(start)));
  item->OnName("EndTime", Gives(Variant::Date(start + 1)));
  item->OnName("Subject", Gives(Variant::Text(u"Caf\u00E9 \u201Cnoel\u201D")));
  item->OnName("Location", Gives(Variant()));
  item->OnName("Text", Gives(Variant::Text(u"line one\r\nline \u0100")));
  Install();

  auto collection = cdo::CreateSession()->GetDefaultFolder(cdo::CdoDefaultFolderCalendar)->Messages();
  auto message_filter = collection->Filter();
  message_filter->SetField(cdo::CdoPR_START_DATE, start + 365);
  message_filter->SetField(cdo::CdoPR_END_DATE, start);
  auto appointment = collection->GetFirst();
  ASSERT_NE(appointment, nullptr);
  EXPECT_TRUE(appointment->AllDayEvent());
  EXPECT_DOUBLE_EQ(appointment->StartTime(), start);
  EXPECT_DOUBLE_EQ(appointment->EndTime(), start + 1);
  EXPECT_EQ(appointment->Subject(), "Caf\xE9 \x93noel\x94");
  EXPECT_EQ(appointment->Location(), "");
  EXPECT_EQ(appointment->Text(), "line one\r\nline ?");  // a character Windows-1252 lacks
  EXPECT_EQ(collection->GetNext(), nullptr);
  EXPECT_EQ(collection->GetPrevious(), nullptr);

  ASSERT_EQ(Members(journal_),
            (std::vector<std::string>{"session.153", "folder.Messages", "messages.Filter", "filter.Fields",
                                      "filter.Fields", "messages.GetFirst", "item.AllDayEvent",
                                      "item.StartTime", "item.EndTime", "item.Subject", "item.Location",
                                      "item.Text", "messages.GetNext", "messages.GetPrevious"}));
  EXPECT_EQ(journal_[0].flags, kMethod);
  ASSERT_EQ(journal_[0].args.size(), 1u);
  EXPECT_EQ(journal_[0].args[0].kind, VariantKind::Int);
  EXPECT_EQ(journal_[0].args[0].integer, cdo::CdoDefaultFolderCalendar);
  for (int put : {3, 4}) {
    const Seen& seen = journal_[put];
    EXPECT_EQ(seen.flags, kPut);
    ASSERT_EQ(seen.args.size(), 2u);
    EXPECT_EQ(seen.args[0].kind, VariantKind::Int);
    EXPECT_EQ(seen.args[1].kind, VariantKind::Date);
  }
  EXPECT_EQ(journal_[3].args[0].integer, static_cast<int32_t>(cdo::CdoPR_START_DATE));
  EXPECT_DOUBLE_EQ(journal_[3].args[1].number, start + 365);
  EXPECT_EQ(journal_[4].args[0].integer, static_cast<int32_t>(cdo::CdoPR_END_DATE));
  EXPECT_DOUBLE_EQ(journal_[4].args[1].number, start);
  for (size_t i = 1; i < journal_.size(); ++i) {
    if (i != 3 && i != 4) {
      EXPECT_EQ(journal_[i].flags, kMethod | kGet) << journal_[i].member;
    }
  }
}

// The text and code of the failure the call raises.
std::pair<std::string, HRESULT> FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EOleException& error) {
    return {error.what(), error.ErrorCode};
  }
  return {"(nothing raised)", platform::S_OK};
}

TEST_F(CdoAutomationDriver, FailuresAreRaisedWithTheLibrarysAccountOrTheCallsCode) {
  session_->OnId(cdo::DISPID_Logon, [](const std::vector<Variant>&, Variant*, ExcepInfo* fault) {
    fault->source = u"Collaboration Data Objects";
    fault->description = u"The information store could not be opened.";
    fault->scode = cdo::MAPI_E_LOGON_FAILED;
    return platform::DISP_E_EXCEPTION;
  });
  session_->OnId(cdo::DISPID_GetDefaultFolder,
                 [](const std::vector<Variant>&, Variant*, ExcepInfo*) { return cdo::MAPI_E_NOT_FOUND; });
  auto entry = NewObject("entry");
  session_->OnId(cdo::DISPID_CurrentUser, Gives(Variant::Object(entry)));
  entry->OnName("Fields", Gives(Variant::Text(u"not an object")));
  Install();
  auto session = cdo::CreateSession();

  EXPECT_EQ(FailureOf([&] {
              session->Logon(std::nullopt, std::nullopt, false, true, 0, true, std::string("a\nb"));
            }),
            std::make_pair(
                std::string("The information store could not be opened. [MAPI_E_LOGON_FAILED(80040111)]"),
                cdo::MAPI_E_LOGON_FAILED));
  EXPECT_EQ(
      FailureOf([&] { session->GetDefaultFolder(0); }),
      std::make_pair(std::string("member 153 failed [MAPI_E_NOT_FOUND(8004010F)]"), cdo::MAPI_E_NOT_FOUND));
  // A member the object lacks, by number and by name.
  EXPECT_EQ(FailureOf([&] { session->Version(); }),
            std::make_pair(std::string("member 44 failed [DISP_E_MEMBERNOTFOUND(80020003)]"),
                           platform::DISP_E_MEMBERNOTFOUND));
  auto user = session->CurrentUser();
  EXPECT_EQ(FailureOf([&] { user->Name(); }),
            std::make_pair(std::string("Unknown name: Name [DISP_E_UNKNOWNNAME(80020006)]"),
                           platform::DISP_E_UNKNOWNNAME));
  EXPECT_EQ(FailureOf([&] { user->Fields(cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT); }),
            std::make_pair(std::string("Fields did not give an object [DISP_E_TYPEMISMATCH(80020005)]"),
                           platform::DISP_E_TYPEMISMATCH));
}

TEST_F(CdoAutomationDriver, ALibraryWithoutTheSessionInterfaceIsRefused) {
  Install(cdo::CLSID_Session);  // answers for IDispatch and another interface only
  EXPECT_EQ(FailureOf([] { cdo::CreateSession(); }),
            std::make_pair(std::string("No such interface supported: {3FA7DEA8-6438-101B-ACC1-00AA00423326} "
                                       "[E_NOINTERFACE(80004002)]"),
                           platform::E_NOINTERFACE));
  EXPECT_TRUE(journal_.empty());
}

}  // namespace
}  // namespace qv
