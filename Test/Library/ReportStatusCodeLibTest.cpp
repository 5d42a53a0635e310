// Status codes with extended data: the wrapper the handler receives, the size limit,
// and how the service's answer comes back.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <AutoGen.h>  // gEfiCallerIdGuid
#include <Guid/StatusCodeDataTypeId.h>
}
extern "C" {
#include <PiPei.h>
#include <Library/ReportStatusCodeLib.h>
}

#include <cstring>

#include "Emulator/Emulator.h"
#include "Test/Pei/FlowTestSupport.h"

using namespace quarn::emu;
using namespace quarn::test;

namespace {

constexpr EFI_STATUS_CODE_TYPE kType = 0x40000002;
constexpr EFI_STATUS_CODE_VALUE kValue = 0x00020000;

EFI_STATUS Report(const void *Data, UINTN Size) {
  return ReportStatusCodeEx(kType, kValue, 0, &gEfiCallerIdGuid, &gEfiStatusCodeSpecificDataGuid, Data, Size);
}

std::vector<uint8_t> Pattern(size_t Size) {
  std::vector<uint8_t> Bytes(Size);
  for (size_t I = 0; I < Size; I++) Bytes[I] = static_cast<uint8_t>(I * 7 + 3);
  return Bytes;
}

uint16_t Word(const std::vector<uint8_t> &Bytes, size_t Offset) {
  uint16_t V;
  std::memcpy(&V, &Bytes[Offset], 2);
  return V;
}

}  // namespace

TEST(ReportStatusCodeEx, WrapsTheDataBehindA20ByteHeader) {
  Emulator E{Scenario{}};
  E.Activate();
  const auto Data = Pattern(38);
  EXPECT_EQ(Report(Data.data(), Data.size()), EFI_SUCCESS);

  const auto &Codes = E.Core().StatusCodes();
  ASSERT_EQ(Codes.size(), 1u);
  EXPECT_EQ(Codes[0].Type, kType);
  EXPECT_EQ(Codes[0].Value, kValue);
  EXPECT_EQ(Codes[0].Instance, 0u);
  ASSERT_TRUE(Codes[0].HasCallerId);
  EXPECT_EQ(std::memcmp(&Codes[0].CallerId, &gEfiCallerIdGuid, 16), 0);
  const auto &Wrapper = Codes[0].Data;
  ASSERT_EQ(Wrapper.size(), 20u + 38u);
  EXPECT_EQ(Word(Wrapper, 0), 20);
  EXPECT_EQ(Word(Wrapper, 2), 38);
  EXPECT_EQ(std::memcmp(&Wrapper[4], &gEfiStatusCodeSpecificDataGuid, 16), 0);
  EXPECT_TRUE(std::equal(Data.begin(), Data.end(), Wrapper.begin() + 20));
}

TEST(ReportStatusCodeEx, MissingCallerAndDataNameDefaultToThisModule) {
  Emulator E{Scenario{}};
  E.Activate();
  const auto Data = Pattern(4);
  EXPECT_EQ(ReportStatusCodeEx(kType, kValue, 3, nullptr, nullptr, Data.data(), Data.size()), EFI_SUCCESS);
  const auto &Code = E.Core().StatusCodes().at(0);
  EXPECT_EQ(Code.Instance, 3u);
  EXPECT_EQ(std::memcmp(&Code.CallerId, &gEfiCallerIdGuid, 16), 0);
  EXPECT_EQ(std::memcmp(&Code.Data[4], &gEfiStatusCodeSpecificDataGuid, 16), 0);
}

TEST(ReportStatusCodeEx, SizeLimitIs492DataBytes) {
  Emulator E{Scenario{}};
  E.Activate();
  const auto Data = Pattern(493);
  EXPECT_EQ(Report(Data.data(), 492), EFI_SUCCESS);
  ASSERT_EQ(E.Core().StatusCodes().size(), 1u);
  EXPECT_EQ(E.Core().StatusCodes()[0].Data.size(), 512u);
  EXPECT_EQ(Word(E.Core().StatusCodes()[0].Data, 2), 492);

  EXPECT_EQ(Report(Data.data(), 493), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(E.Core().StatusCodes().size(), 1u) << "nothing reported beyond the limit";
  const RunReport R = E.Snapshot();
  EXPECT_TRUE(R.Asserts.empty());
  EXPECT_EQ(Printed(R), "Status code extended data is too large to be reported!\n");
}

TEST(ReportStatusCodeEx, NoHandlerYetCountsAsSuccessOtherAnswersPassThrough) {
  Scenario NoHandler;
  NoHandler.StatusCodeHandler = false;
  const auto Data = Pattern(8);
  {
    Emulator E{NoHandler};
    E.Activate();
    EXPECT_EQ(Report(Data.data(), Data.size()), EFI_SUCCESS);
    EXPECT_EQ(E.Core().StatusCodes().at(0).Answer, EFI_NOT_AVAILABLE_YET);
  }

  Scenario Refusing;
  Refusing.StatusCodeResult = EFI_UNSUPPORTED;
  {
    Emulator E2{Refusing};
    E2.Activate();
    EXPECT_EQ(Report(Data.data(), Data.size()), EFI_UNSUPPORTED);
  }

  Scenario Warning;
  Warning.StatusCodeResult = EFI_WARN_STALE_DATA;
  Emulator E3{Warning};
  E3.Activate();
  EXPECT_EQ(Report(Data.data(), Data.size()), EFI_WARN_STALE_DATA);
}

TEST(ReportStatusCodeEx, SizeWithoutDataAssertsAndReportsNoBytes) {
  Emulator E{Scenario{}};
  E.Activate();
  EXPECT_EQ(Report(nullptr, 40), EFI_SUCCESS);
  EXPECT_EQ(E.Snapshot().Asserts.size(), 1u);
  const auto &Code = E.Core().StatusCodes().at(0);
  EXPECT_EQ(Word(Code.Data, 2), 0) << "the handler must not be told of bytes that were never written";
  EXPECT_EQ(Code.Data.size(), 20u);
}

TEST(ReportStatusCodeEx, DataWithoutSizeAssertsAndReportsTheHeader) {
  Emulator E{Scenario{}};
  E.Activate();
  const auto Data = Pattern(4);
  EXPECT_EQ(Report(Data.data(), 0), EFI_SUCCESS);
  EXPECT_EQ(E.Snapshot().Asserts.size(), 1u);
  EXPECT_EQ(Word(E.Core().StatusCodes().at(0).Data, 2), 0);
}
