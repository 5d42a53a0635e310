// 64-by-32 division without compiler helpers, against the host's own division.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
}

#include "BoardFixture.h"

using quarn::test::ActiveBoard;

TEST(DivU64x32Remainder, AgreesWithHostDivisionAcrossTheRange) {
  ActiveBoard Board;
  const UINT64 Dividends[] = {0,
                              1,
                              999,
                              0xFFFFFFFFull,
                              0x100000000ull,
                              0x123456789ABCDEF0ull,
                              0xFFFFFFFFFFFFFFFFull,
                              1000ull * 3579545ull,
                              0x8000000000000000ull};
  const UINT32 Divisors[] = {1, 2, 10, 16, 1000000, 0x7FFFFFFF, 0x80000000u, 0x80000001u, 0xFFFFFFFFu};
  for (UINT64 Dividend : Dividends) {
    for (UINT32 Divisor : Divisors) {
      UINT32 Remainder = 0xDEAD;
      EXPECT_EQ(DivU64x32Remainder(Dividend, Divisor, &Remainder), Dividend / Divisor) << Dividend << " / " << Divisor;
      EXPECT_EQ(Remainder, Dividend % Divisor) << Dividend << " % " << Divisor;
    }
  }
  EXPECT_EQ(Board.Breakpoints(), 0u);
}

TEST(DivU64x32Remainder, ZeroDivisorAssertsAndYieldsZero) {
  ActiveBoard Board;
  UINT32 Remainder = 7;
  EXPECT_EQ(DivU64x32Remainder(100, 0, &Remainder), 0u);
  EXPECT_EQ(Remainder, 0u);
  EXPECT_EQ(Board.Breakpoints(), 1u);
  EXPECT_EQ(DivU64x32Remainder(100, 0, nullptr), 0u);  // no remainder to clear
  EXPECT_EQ(Board.Breakpoints(), 2u);
  EXPECT_EQ(DivU64x32Remainder(100, 7, nullptr), 14u);
}
