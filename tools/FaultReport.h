#pragma once
// The report of a processor fault raised while a host calls a plug-in: what it was and where.
// spihost prints it and ends; the mutation runner hands it to its supervisor.

#include <string>

namespace spihost {

// "Sorvane.sph+0x1A2B": the module holding `address` and the offset into it; "no module"
// when no module holds it.
std::wstring PlaceOf(const void* address);

// "exception 0xC0000005 at Sorvane.sph+0x1A2B"
std::wstring DescribeException(unsigned long code, const void* address);

// Makes a fault that nothing handles hand its description to `report` and end the process
// with `exitCode`. The process is ended at once: a plug-in that faulted gets no detach call.
using FaultSink = void (*)(const std::wstring& description);
void InstallFaultReport(FaultSink report, unsigned exitCode);

}  // namespace spihost
