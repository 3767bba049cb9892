// The file services of the package write, replaced for one scope by the static functions of
// `Services` of the same names (Create, Write, Read, Flush, Close, Delete, Sectors, Move,
// Attributes, Volume): what an in-memory card and the step log over it both put in force.
// The card's own opening and closing are left as they are.
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
    ScopedOverride<decltype(platform::SystemApi::CardCreateFileA)> create_{&platform::SystemApi::CardCreateFileA,
                                                                           Services::Create};
    ScopedOverride<decltype(platform::SystemApi::WriteFile)> write_{&platform::SystemApi::WriteFile, Services::Write};
    ScopedOverride<decltype(platform::SystemApi::ReadFile)> read_{&platform::SystemApi::ReadFile, Services::Read};
    ScopedOverride<decltype(platform::SystemApi::FlushFileBuffers)> flush_{&platform::SystemApi::FlushFileBuffers,
                                                                           Services::Flush};
    ScopedOverride<decltype(platform::SystemApi::CloseHandle)> close_{&platform::SystemApi::CloseHandle,
                                                                      Services::Close};
    ScopedOverride<decltype(platform::SystemApi::CardDeleteFileA)> delete_{&platform::SystemApi::CardDeleteFileA,
                                                                           Services::Delete};
    ScopedOverride<decltype(platform::SystemApi::CardGetDiskFreeSpaceA)> sectors_{
        &platform::SystemApi::CardGetDiskFreeSpaceA, Services::Sectors};
    ScopedOverride<decltype(platform::SystemApi::CardMoveFileExA)> move_{&platform::SystemApi::CardMoveFileExA,
                                                                         Services::Move};
    ScopedOverride<decltype(platform::SystemApi::CardGetFileAttributesExA)> attributes_{
        &platform::SystemApi::CardGetFileAttributesExA, Services::Attributes};
    ScopedOverride<decltype(platform::SystemApi::GetVolumeInformationByHandleW)> volume_{
        &platform::SystemApi::GetVolumeInformationByHandleW, Services::Volume};
};
