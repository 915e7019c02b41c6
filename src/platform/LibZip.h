#pragma once

#include "platform/OnDemandLibrary.h"

#include <memory>
#include <zip.h>

// clang-format off
#define ORVEL_LIBZIP(X) \
    X(zip_open) \
    X(zip_close) \
    X(zip_discard) \
    X(zip_strerror) \
    X(zip_get_num_entries) \
    X(zip_stat_index) \
    X(zip_file_get_external_attributes) \
    X(zip_fopen_index) \
    X(zip_fread) \
    X(zip_fclose) \
    X(zip_file_strerror) \
    X(zip_error_init_with_code) \
    X(zip_error_strerror) \
    X(zip_error_fini) \
    X(zip_source_buffer) \
    X(zip_source_free) \
    X(zip_file_add)
// clang-format on

// libzip, loaded when an archive is first read or written.
struct LibZip {
    ORVEL_LIBZIP(ORVEL_ON_DEMAND_MEMBER)
    static const LibZip* load();
};

// An archive opened through the loaded library; discarded unless it was closed.
struct ZipDiscard {
    const LibZip* zip;
    void operator()(zip_t* archive) const { zip->zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;
