/** @file
  Platform configuration values. A FixedAtBuild value is a constant of the build: the
  build writes _PCD_VALUE_<Name> and _PCD_GET_MODE_<Size>_<Name> for each value a
  module lists.
**/
#ifndef __PCD_LIB_H__
#define __PCD_LIB_H__

#define FixedPcdGet8(TokenName)     _PCD_VALUE_##TokenName
#define FixedPcdGet16(TokenName)    _PCD_VALUE_##TokenName
#define FixedPcdGet32(TokenName)    _PCD_VALUE_##TokenName
#define FixedPcdGet64(TokenName)    _PCD_VALUE_##TokenName
#define FixedPcdGetBool(TokenName)  _PCD_VALUE_##TokenName

#define PcdGet8(TokenName)     _PCD_GET_MODE_8_##TokenName
#define PcdGet16(TokenName)    _PCD_GET_MODE_16_##TokenName
#define PcdGet32(TokenName)    _PCD_GET_MODE_32_##TokenName
#define PcdGet64(TokenName)    _PCD_GET_MODE_64_##TokenName
#define PcdGetBool(TokenName)  _PCD_GET_MODE_BOOL_##TokenName

#endif
