/** @file
  A two-function image for the convention check's own test: an entry point and a
  callback whose address sits in a table. Built with -mregparm=3; with SAMPLE_PLAIN the
  table's type and the callback lack EFIAPI, so the callback takes register arguments.
**/
#include <PiPei.h>

#ifdef SAMPLE_PLAIN
#define SAMPLE_CONVENTION
#else
#define SAMPLE_CONVENTION EFIAPI
#endif

typedef UINTN(SAMPLE_CONVENTION *SAMPLE_CALLBACK)(UINTN First, UINTN Second);

extern "C" {

UINTN SAMPLE_CONVENTION SampleCallback(UINTN First, UINTN Second) { return First * 3 + Second; }

extern const SAMPLE_CALLBACK gSampleTable[] = {SampleCallback};

UINTN EFIAPI SampleEntry(UINTN Index) { return gSampleTable[Index & 0](Index, 7); }

}
