// The product info HOB of the non-functional path: which HOB is written, what it holds,
// and what the routine reports when none can be had.
#include <gtest/gtest.h>

#include <Pei/QuarnPeiPreMem/QuarnPeiPreMem.h>

#include <cstring>

#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"
#include "Test/Pei/FlowTestSupport.h"

using namespace quarn::emu;
using namespace quarn::test;

namespace {

using Bytes = std::vector<uint8_t>;

/// The record QuarnSetNonFunctional writes: all zero but Flow (byte 8) = 2.
Bytes NonFunctionalRecord() {
  Bytes Record(16, 0);
  Record[8] = 2;
  return Record;
}

/// Appends an info HOB with DataLength data bytes, each Fill; returns its data.
uint8_t *AddInfoHob(Emulator &E, uint16_t DataLength, uint8_t Fill) {
  auto *Hob = static_cast<EFI_HOB_GUID_TYPE *>(
      E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, static_cast<uint16_t>(sizeof(EFI_HOB_GUID_TYPE) + DataLength)));
  EXPECT_NE(Hob, nullptr);
  std::memcpy(&Hob->Name, &gQuarnInfoHobGuid, sizeof(EFI_GUID));
  auto *Data = reinterpret_cast<uint8_t *>(Hob + 1);
  std::memset(Data, Fill, Hob->Header.HobLength - sizeof(EFI_HOB_GUID_TYPE));
  return Data;
}

Bytes DataOf(EFI_HOB_GUID_TYPE *Hob, size_t Length = 16) {
  auto *Data = reinterpret_cast<uint8_t *>(Hob + 1);
  return Bytes(Data, Data + Length);
}

}  // namespace

TEST(QuarnSetNonFunctional, CreatesTheHobWhenThereIsNone) {
  Emulator E{Scenario{}};
  E.Activate();
  EXPECT_EQ(QuarnSetNonFunctional(), EFI_SUCCESS);
  auto Hobs = FindGuidHobs(E.Core(), gQuarnInfoHobGuid);
  ASSERT_EQ(Hobs.size(), 1u);
  EXPECT_EQ(Hobs[0]->Header.HobLength, 40);
  EXPECT_EQ(DataOf(Hobs[0]), NonFunctionalRecord());

  const RunReport R = E.Snapshot();
  ASSERT_TRUE(R.InfoHob.has_value());
  EXPECT_EQ(R.InfoHob->Flow, 2);
  EXPECT_EQ(R.InfoHob->FeatureSet, 0u);
  EXPECT_TRUE(R.Asserts.empty());
  EXPECT_EQ(Printed(R),
            "[QUARN][PreMem] HOB: flow 2, feature set 0x00000000, features 2 0x00000000, pwr opt boot 0, "
            "cores2disable 0\n"
            "[QUARN][PreMem] ERROR: VORN is non functional (flow 2)\n");
}

TEST(QuarnSetNonFunctional, OverwritesTheFirstExistingHobAndCreatesNone) {
  Emulator E{Scenario{}};
  E.Activate();
  uint8_t *First = AddInfoHob(E, 16, 0);
  First[0] = 0x04;   // FeatureSet 4
  First[8] = 1;      // Flow 1
  First[12] = 0x5A;  // a byte past the named fields
  uint8_t *Second = AddInfoHob(E, 16, 0x77);
  EXPECT_EQ(QuarnSetNonFunctional(), EFI_SUCCESS);

  auto Hobs = FindGuidHobs(E.Core(), gQuarnInfoHobGuid);
  ASSERT_EQ(Hobs.size(), 2u) << "no new HOB";
  EXPECT_EQ(DataOf(Hobs[0]), NonFunctionalRecord());
  EXPECT_EQ(Bytes(Second, Second + 16), Bytes(16, 0x77)) << "a second HOB further down is left alone";
}

TEST(QuarnSetNonFunctional, ShortHobIsNeverWrittenPastItsEnd) {
  // A malformed HOB of the name with 8 data bytes, right before another HOB.
  Emulator E{Scenario{}};
  E.Activate();
  uint8_t *Short = AddInfoHob(E, 8, 0x33);
  auto *Next = static_cast<EFI_HOB_GUID_TYPE *>(E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, 40));
  const Bytes NextBefore(reinterpret_cast<uint8_t *>(Next), reinterpret_cast<uint8_t *>(Next) + 40);

  EXPECT_EQ(QuarnSetNonFunctional(), EFI_SUCCESS);
  EXPECT_EQ(Bytes(Short, Short + 8), Bytes(8, 0x33)) << "the short HOB is skipped, not written";
  EXPECT_EQ(Bytes(reinterpret_cast<uint8_t *>(Next), reinterpret_cast<uint8_t *>(Next) + 40), NextBefore);
  auto Hobs = FindGuidHobs(E.Core(), gQuarnInfoHobGuid);
  ASSERT_EQ(Hobs.size(), 2u) << "a well-formed HOB was built";
  EXPECT_EQ(Hobs[1]->Header.HobLength, 40);
  EXPECT_EQ(DataOf(Hobs[1]), NonFunctionalRecord());
}

TEST(QuarnSetNonFunctional, ShortHobIsSkippedForAWellFormedOneFurtherDown) {
  Emulator E{Scenario{}};
  E.Activate();
  AddInfoHob(E, 8, 0x33);
  AddInfoHob(E, 16, 0x44);
  EXPECT_EQ(QuarnSetNonFunctional(), EFI_SUCCESS);
  auto Hobs = FindGuidHobs(E.Core(), gQuarnInfoHobGuid);
  ASSERT_EQ(Hobs.size(), 2u) << "no new HOB";
  EXPECT_EQ(DataOf(Hobs[0], 8), Bytes(8, 0x33));
  EXPECT_EQ(DataOf(Hobs[1]), NonFunctionalRecord());
}

TEST(QuarnSetNonFunctional, CreationFailingGivesOutOfResources) {
  Emulator E{Scenario{}};
  E.Activate();
  E.GetBoard().Faults().FailCall("CreateHob", 1);
  EXPECT_EQ(QuarnSetNonFunctional(), EFI_OUT_OF_RESOURCES);
  EXPECT_TRUE(FindGuidHobs(E.Core(), gQuarnInfoHobGuid).empty());
  EXPECT_TRUE(PrintsInOrder(E.Snapshot(),
                            {"[QUARN][PreMem] HOB: flow 2", "[QUARN][PreMem] ERROR: VORN is non functional (flow 2)\n",
                             "[QUARN][PreMem] ERROR: QUARN info HOB has not been registered\n"}));
  EXPECT_EQ(E.Snapshot().Asserts.size(), 1u) << "BuildGuidHob reports the failed creation";
}

TEST(QuarnSetNonFunctional, ExhaustedHobSpaceGivesOutOfResources) {
  Scenario S;
  S.HobSpace = 64;  // the hand-off HOB and the end HOB, nothing more
  Emulator E{S};
  E.Activate();
  EXPECT_EQ(QuarnSetNonFunctional(), EFI_OUT_OF_RESOURCES);
  EXPECT_FALSE(E.Snapshot().InfoHob.has_value());
}

TEST(QuarnSetNonFunctional, OnlyAShortHobAndNoSpaceIsAFailureNotASuccess) {
  Emulator E{Scenario{}};
  E.Activate();
  AddInfoHob(E, 8, 0x33);
  E.GetBoard().Faults().FailCall("CreateHob", 1);
  EXPECT_EQ(QuarnSetNonFunctional(), EFI_OUT_OF_RESOURCES);
}
