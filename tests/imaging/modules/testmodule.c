// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for a carried module and for imaging libraries on disk: it
// exports an answer the tests can call and every imaging API name, so that a
// binding can be traced to the file each entry came from.
#ifndef KESTREL_TEST_ANSWER
#define KESTREL_TEST_ANSWER 42
#endif

#include <stdlib.h>

int kestrel_test_answer(int x)
{
    // Calls into the C library, so loading needs its imports resolved.
    return x + (int)labs(KESTREL_TEST_ANSWER);
}

#define KESTREL_STUB(name) \
    int name(void) { return 0; }

KESTREL_STUB(WIMMountImage)
KESTREL_STUB(WIMUnmountImage)
KESTREL_STUB(WIMRemountImage)
KESTREL_STUB(WIMGetMountedImages)
KESTREL_STUB(WIMDeleteImageMounts)
KESTREL_STUB(WIMGetMountedImageInfo)
KESTREL_STUB(WIMLoadImage)
KESTREL_STUB(WIMSplitFile)
KESTREL_STUB(WIMCreateFile)
KESTREL_STUB(WIMApplyImage)
KESTREL_STUB(WIMCloseHandle)
KESTREL_STUB(WIMExportImage)
KESTREL_STUB(WIMDeleteImage)
KESTREL_STUB(WIMSetBootImage)
KESTREL_STUB(WIMCaptureImage)
KESTREL_STUB(WIMGetImageCount)
KESTREL_STUB(WIMGetAttributes)
KESTREL_STUB(WIMSetTemporaryPath)
KESTREL_STUB(WIMSetReferenceFile)
KESTREL_STUB(WIMSetImageInformation)
KESTREL_STUB(WIMGetImageInformation)
KESTREL_STUB(WIMRegisterMessageCallback)
KESTREL_STUB(WIMUnregisterMessageCallback)
KESTREL_STUB(WIMFindFirstImageFile)
KESTREL_STUB(WIMFindNextImageFile)
