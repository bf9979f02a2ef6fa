// The system's XmlLite reader over a stream, set up for files others may
// write: no document type (no entity of the file's choosing is expanded) and
// a bounded depth. Debian's mingw-w64 has the header but no import library,
// and a system without XmlLite still lists everything else, so the DLL is
// loaded at run time, from the system folder only: never one planted beside
// the program.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <xmllite.h>

// A reader of `stream` (UTF-16 with its mark, or UTF-8) that refuses a
// document type and elements nested deeper than `maxDepth`; null when
// XmlLite is missing or refuses. The caller releases it.
IXmlReader* CreateUntrustedXmlReader(IStream* stream, UINT maxDepth);
