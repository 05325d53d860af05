// The password mask of the trace and the request log, over whole texts and over texts that arrive in
// pieces, and the trace writer, which applies it to every line whatever its level.
#include "logging/password_mask.h"

#include <gtest/gtest.h>

#include <string>

#include "logging/trace_writer.h"
#include "testing/file_texts.h"
#include "testing/test_state_dir.h"

namespace qv {
namespace {

// A request, a deck with its links written as XML text, and bytes around them; each password in it
// holds "Secr3t".
const std::string kRequestAndDeck =
    "GET /?U=anna&P=Secr3t1&E=CA&p=Secr3t2 HTTP/1.0\r\nHost: x\r\n\r\n"
    "<go href=\"?U=anna&amp;P=Secr3t3&amp;E=CO&amp;X=2\"/><anchor>?P=Secr3t4\tP=visible";

TEST(MaskPasswords, HidesTheValueOfEveryPParameterWhereverItStands) {
  EXPECT_EQ(MaskPasswords(kRequestAndDeck),
            "GET /?U=anna&P=********&E=CA&p=******** HTTP/1.0\r\nHost: x\r\n\r\n"
            "<go href=\"?U=anna&amp;P=********&amp;E=CO&amp;X=2\"/><anchor>?P=********\tP=visible");
  // Only the parameter named P counts, and an empty value gets the mask too.
  EXPECT_EQ(MaskPasswords("?UP=1&PP=2&P==3&P=&X=4"), "?UP=1&PP=2&P=********&P=********&X=4");
  EXPECT_EQ(MaskPasswords("no parameters P=here"), "no parameters P=here");
}

TEST(PasswordMask, MasksATextGivenInPiecesAsItMasksTheWhole) {
  const std::string whole = MaskPasswords(kRequestAndDeck);
  for (size_t first = 0; first <= kRequestAndDeck.size(); ++first) {
    for (const size_t piece : {1u, 3u, 10u}) {
      PasswordMask mask;
      std::string masked = mask.Next(std::string_view(kRequestAndDeck).substr(0, first));
      for (size_t at = first; at < kRequestAndDeck.size(); at += piece)
        masked += mask.Next(std::string_view(kRequestAndDeck).substr(at, piece));
      ASSERT_EQ(masked, whole) << "first piece " << first << ", then pieces of " << piece;
    }
  }
}

TEST(TWCTraceWriter, WritesNoPasswordAtAnyLevel) {
  testing::TestStateDir dir;
  const std::string path = dir.File("masked.trace");
  {
    TWCTraceWriter writer(path, 3);
    for (uint8_t level = 1; level <= 3; ++level) writer.Trace("sHeader: " + kRequestAndDeck, level);
  }
  const std::string trace = testing::FileText(path);
  EXPECT_EQ(testing::CountOf(trace, "&P=********&E=CA&p=********"), 3u) << trace;
  EXPECT_EQ(trace.find("Secr3t"), std::string::npos) << trace;
}

}  // namespace
}  // namespace qv
