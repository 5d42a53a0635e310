/** @file
  The current debug error level: fixed at build time when PcdQuarnFixedDebugErrorLevel is
  not 0; otherwise read once from four CMOS bytes and cached in MM0.

  MM0 holds the cache: bits 15:0 the signature 0x4424, bit 31 the valid flag, bits 63:32
  the level; bits 30:16 are left as the register held them. A level of 0, taken because
  CMOS register 0x0E bit 7 says the contents are not to be trusted, is cached too.
**/
extern "C" {
#include <Base.h>
#include <Library/DebugPrintErrorLevelLib.h>
#include <Library/IoLib.h>
#include <Library/PcdLib.h>
}
#include <Library/CpuIntrinsicsLib.h>

namespace {

/// A fixed error level built into the image; 0 means "not fixed": MM0 cache or CMOS.
constexpr UINT32 gFixedDebugPrintErrorLevel = FixedPcdGet32(PcdQuarnFixedDebugErrorLevel);

// CMOS: index and data ports, the validity register and the four level bytes.
constexpr UINTN kCmosIndexPort = 0x70;
constexpr UINTN kCmosDataPort = 0x71;
constexpr UINT8 kCmosNmiDisable = 0x80;
constexpr UINT8 kCmosStatusRegister = 0x0E;
constexpr UINT8 kCmosContentsInvalid = 0x80;
/// The first of the four level registers, least significant byte first.
constexpr UINT8 kCmosLevelIndex = FixedPcdGet8(PcdQuarnDebugLevelCmosIndex);
constexpr UINTN kCmosLevelBytes = sizeof(UINT32);
static_assert(kCmosLevelIndex + kCmosLevelBytes - 1 <= 0x7F, "the level lies in the CMOS bank the index port reaches");
static_assert(kCmosLevelIndex > kCmosStatusRegister, "the level lies past the clock and status registers");

// The error-level cache in MM0.
constexpr UINT64 kCacheSignatureMask = 0xFFFF;
constexpr UINT64 kCacheSignature = 0x4424;
constexpr UINT64 kCacheValid = 1ull << 31;
constexpr UINT64 kCacheKeptBits = 0x7FFF0000;  // bits 30:16, left as the register held them
constexpr unsigned kCacheLevelShift = 32;

/** TRUE when the MM0 image holds a cached level: the signature and the valid bit. */
constexpr bool IsCacheValid(UINT64 Mm0) {
  return (Mm0 & kCacheSignatureMask) == kCacheSignature && (Mm0 & kCacheValid) != 0;
}

/** The MM0 image that caches Level, keeping bits 30:16 of Previous. */
constexpr UINT64 CacheImage(UINT64 Previous, UINT32 Level) {
  return (static_cast<UINT64>(Level) << kCacheLevelShift) | kCacheValid | (Previous & kCacheKeptBits) | kCacheSignature;
}
static_assert(CacheImage(0xFFFFFFFFFFFFFFFFull, 0x80000042) == 0x80000042FFFF4424ull, "cache layout");
static_assert(IsCacheValid(CacheImage(0, 0)), "a cached level of 0 is a valid cache");

/** Reads the level from CMOS: 0 when register 0x0E bit 7 says the contents are not to be trusted. */
UINT32 ReadCmosErrorLevel() {
  IoWrite8(kCmosIndexPort, kCmosNmiDisable | kCmosStatusRegister);
  if ((IoRead8(kCmosDataPort) & kCmosContentsInvalid) != 0) {
    return 0;
  }
  UINT32 Level = 0;
  for (UINTN Byte = 0; Byte < kCmosLevelBytes; Byte++) {
    IoWrite8(kCmosIndexPort, static_cast<UINT8>(kCmosLevelIndex + Byte));
    Level |= static_cast<UINT32>(IoRead8(kCmosDataPort)) << (8 * Byte);
  }
  return Level;
}

}  // namespace

extern "C" {

/**
  Returns the current error level: the fixed level when one is built in, else the
  level cached in MM0, else the level read from CMOS (0 when CMOS is not valid),
  which is then cached in MM0 with bits 30:16 kept as they were.
**/
UINT32 EFIAPI GetDebugPrintErrorLevel(VOID) {
  if (gFixedDebugPrintErrorLevel != 0) {
    return gFixedDebugPrintErrorLevel;
  }

  UINT64 Mm0 = 0;
  CpuReadMm0(&Mm0);
  if (IsCacheValid(Mm0)) {
    return static_cast<UINT32>(Mm0 >> kCacheLevelShift);
  }

  const UINT32 Level = ReadCmosErrorLevel();
  const UINT64 Cache = CacheImage(Mm0, Level);
  CpuWriteMm0(&Cache);
  return Level;
}
}
