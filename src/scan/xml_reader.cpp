#include "scan/xml_reader.h"

#include <string>

namespace {

using CreateXmlReaderCall = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

CreateXmlReaderCall XmlReaderFactory() {
  static const CreateXmlReaderCall factory = []() -> CreateXmlReaderCall {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 13) return nullptr;
    const HMODULE module = LoadLibraryW((std::wstring(folder) + L"\\xmllite.dll").c_str());
    return module ? reinterpret_cast<CreateXmlReaderCall>(
                        reinterpret_cast<void*>(GetProcAddress(module, "CreateXmlReader")))
                  : nullptr;
  }();
  return factory;
}

}  // namespace

IXmlReader* CreateUntrustedXmlReader(IStream* stream, UINT maxDepth) {
  const CreateXmlReaderCall factory = XmlReaderFactory();
  IXmlReader* reader = nullptr;
  if (!factory || !stream ||
      FAILED(factory(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader), nullptr)))
    return nullptr;
  if (FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
      FAILED(reader->SetProperty(XmlReaderProperty_MaxElementDepth, maxDepth)) ||
      FAILED(reader->SetInput(stream))) {
    reader->Release();
    return nullptr;
  }
  return reader;
}
