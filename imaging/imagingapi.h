// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide tables of imaging-layer and wimlib entry points. Either
// table's entries may be empty (nullptr) when a library could not be bound;
// every caller checks the entry it needs before calling it.
#pragma once

#include "wimgapi/wimgapi.h"
#include <wimlib.h>

struct ImagingApiTable {
    // Mount group: always from a library on disk.
    decltype(&::WIMMountImage) WIMMountImage = nullptr;
    decltype(&::WIMUnmountImage) WIMUnmountImage = nullptr;
    decltype(&::WIMRemountImage) WIMRemountImage = nullptr;
    decltype(&::WIMGetMountedImages) WIMGetMountedImages = nullptr;
    decltype(&::WIMDeleteImageMounts) WIMDeleteImageMounts = nullptr;
    decltype(&::WIMGetMountedImageInfo) WIMGetMountedImageInfo = nullptr;
    // General group.
    decltype(&::WIMLoadImage) WIMLoadImage = nullptr;
    decltype(&::WIMSplitFile) WIMSplitFile = nullptr;
    decltype(&::WIMCreateFile) WIMCreateFile = nullptr;
    decltype(&::WIMApplyImage) WIMApplyImage = nullptr;
    decltype(&::WIMCloseHandle) WIMCloseHandle = nullptr;
    decltype(&::WIMExportImage) WIMExportImage = nullptr;
    decltype(&::WIMDeleteImage) WIMDeleteImage = nullptr;
    decltype(&::WIMSetBootImage) WIMSetBootImage = nullptr;
    decltype(&::WIMCaptureImage) WIMCaptureImage = nullptr;
    decltype(&::WIMGetImageCount) WIMGetImageCount = nullptr;
    decltype(&::WIMGetAttributes) WIMGetAttributes = nullptr;
    decltype(&::WIMSetTemporaryPath) WIMSetTemporaryPath = nullptr;
    decltype(&::WIMSetReferenceFile) WIMSetReferenceFile = nullptr;
    decltype(&::WIMSetImageInformation) WIMSetImageInformation = nullptr;
    decltype(&::WIMGetImageInformation) WIMGetImageInformation = nullptr;
    decltype(&::WIMRegisterMessageCallback) WIMRegisterMessageCallback = nullptr;
    decltype(&::WIMUnregisterMessageCallback) WIMUnregisterMessageCallback = nullptr;
    decltype(&::WIMFindFirstImageFile) WIMFindFirstImageFile = nullptr;
    decltype(&::WIMFindNextImageFile) WIMFindNextImageFile = nullptr;
    // Kestrel's own: the locked replacement of a whole file. Empty with a
    // layer that lacks it.
    decltype(&::WIMReplaceImageFile) WIMReplaceImageFile = nullptr;
};

// The 24 wimlib entry points, in the order of the carried name table.
struct WimlibApiTable {
    decltype(&::wimlib_open_wim) wimlib_open_wim = nullptr;
    decltype(&::wimlib_free) wimlib_free = nullptr;
    decltype(&::wimlib_global_cleanup) wimlib_global_cleanup = nullptr;
    decltype(&::wimlib_extract_paths) wimlib_extract_paths = nullptr;
    decltype(&::wimlib_global_init) wimlib_global_init = nullptr;
    decltype(&::wimlib_register_progress_function) wimlib_register_progress_function = nullptr;
    decltype(&::wimlib_iterate_dir_tree) wimlib_iterate_dir_tree = nullptr;
    decltype(&::wimlib_add_tree) wimlib_add_tree = nullptr;
    decltype(&::wimlib_extract_image) wimlib_extract_image = nullptr;
    decltype(&::wimlib_overwrite) wimlib_overwrite = nullptr;
    decltype(&::wimlib_delete_path) wimlib_delete_path = nullptr;
    decltype(&::wimlib_delete_image) wimlib_delete_image = nullptr;
    decltype(&::wimlib_add_image) wimlib_add_image = nullptr;
    decltype(&::wimlib_set_image_name) wimlib_set_image_name = nullptr;
    decltype(&::wimlib_rename_path) wimlib_rename_path = nullptr;
    decltype(&::wimlib_create_new_wim) wimlib_create_new_wim = nullptr;
    decltype(&::wimlib_export_image) wimlib_export_image = nullptr;
    decltype(&::wimlib_get_error_string) wimlib_get_error_string = nullptr;
    decltype(&::wimlib_set_output_compression_type) wimlib_set_output_compression_type = nullptr;
    decltype(&::wimlib_write) wimlib_write = nullptr;
    decltype(&::wimlib_set_default_compression_level) wimlib_set_default_compression_level = nullptr;
    decltype(&::wimlib_iterate_lookup_table) wimlib_iterate_lookup_table = nullptr;
    decltype(&::wimlib_get_image_property) wimlib_get_image_property = nullptr;
    decltype(&::wimlib_reference_resource_files) wimlib_reference_resource_files = nullptr;
};

extern ImagingApiTable ImagingApi;
extern WimlibApiTable WimlibApi;
