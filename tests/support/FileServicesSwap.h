// The file services of the package write, replaced for one scope by the static functions of
// `Services` of the same names (Create, Write, Read, Flush, Close, Delete, Sectors, Move,
// Attributes, Volume): what an in-memory card and the step log over it both put in force.
#pragma once

#include "platform/SystemApi.h"
#include "support/FaultInjection.h"

template <class Services>
class FileServicesSwap {
public:
    FileServicesSwap() = default;

    // The services that were in force before, for a layer that passes calls on to them.
    const platform::SystemApi& Saved() const { return saved_; }

private:
    const platform::SystemApi saved_ = platform::sys;  // taken before the replacements below
    ScopedOverride<decltype(platform::SystemApi::CreateFileA)> create_{&platform::SystemApi::CreateFileA,
                                                                       Services::Create};
    ScopedOverride<decltype(platform::SystemApi::WriteFile)> write_{&platform::SystemApi::WriteFile, Services::Write};
    ScopedOverride<decltype(platform::SystemApi::ReadFile)> read_{&platform::SystemApi::ReadFile, Services::Read};
    ScopedOverride<decltype(platform::SystemApi::FlushFileBuffers)> flush_{&platform::SystemApi::FlushFileBuffers,
                                                                           Services::Flush};
    ScopedOverride<decltype(platform::SystemApi::CloseHandle)> close_{&platform::SystemApi::CloseHandle,
                                                                      Services::Close};
    ScopedOverride<decltype(platform::SystemApi::DeleteFileA)> delete_{&platform::SystemApi::DeleteFileA,
                                                                       Services::Delete};
    ScopedOverride<decltype(platform::SystemApi::GetDiskFreeSpaceA)> sectors_{&platform::SystemApi::GetDiskFreeSpaceA,
                                                                              Services::Sectors};
    ScopedOverride<decltype(platform::SystemApi::MoveFileExA)> move_{&platform::SystemApi::MoveFileExA, Services::Move};
    ScopedOverride<decltype(platform::SystemApi::GetFileAttributesExA)> attributes_{
        &platform::SystemApi::GetFileAttributesExA, Services::Attributes};
    ScopedOverride<decltype(platform::SystemApi::GetVolumeInformationByHandleW)> volume_{
        &platform::SystemApi::GetVolumeInformationByHandleW, Services::Volume};
};
