// Firmware programming: WriteToRom writes an image file into the controller's
// ROM through sequential access and reads it back, up to three attempts;
// GetPercentage reports how far it has got.
#include <stdio.h>

#include "hotkey_core.h"
#include "hotkey_seams.h"

namespace hotkey {

namespace {

constexpr int kRomBytes = 8192;
constexpr long kSignatureOffset = 0x1FFC;
constexpr uint8_t kSignature0 = 0x92;
constexpr uint8_t kSignature1 = 0x18;
constexpr int kAttempts = 3;
constexpr int kStageAttemptShift = 4;
constexpr int8_t kStageWritePass = 0x01;
constexpr int8_t kStageVerifyPass = 0x02;
constexpr int kProgressStep = 81;   // one percent per 81 bytes
constexpr int kProgressMax = 100;

// WriteToRom's results.
constexpr int kResultOk = 1;
constexpr int kResultBadFile = 2;
constexpr int kResultNoFile = 3;
constexpr int kResultWriteFailed = 5;
constexpr int kResultVerifyFailed = 6;
constexpr int kResultBadChip = 7;

// How one pass over the ROM ended.
enum class Pass { Done, Failed, FileEnded, CannotOpenSequential };

void Progress(int position, const char* format)
{
    if (position % kProgressStep != 0)
        return;
    int percent = position / kProgressStep;
    if (percent > kProgressMax)
        percent = kProgressMax;
    Percentage.store(percent);
    TraceLine(format, percent);
}

long FileSize(FILE* f)
{
    if (fseek(f, 0, SEEK_END) != 0)
        return -1;
    const long size = ftell(f);
    return fseek(f, 0, SEEK_SET) == 0 ? size : -1;
}

// The next image byte from the file, false at its end or on a read error.
bool NextByte(FILE* f, uint8_t* out)
{
    const int c = fgetc(f);
    if (c == EOF)
        return false;
    *out = (uint8_t)c;
    return true;
}

Pass WritePass(FILE* f, uint8_t* image)
{
    for (int p = 0; p < kRomBytes; ++p) {
        Progress(p, "\rWrite to ROM ... %d %% ");
        if (!NextByte(f, &image[p]))
            return Pass::FileEnded;
        if (!SequentialWrite((uint32_t)p, image[p]))
            return Pass::Failed;
    }
    return Pass::Done;
}

Pass VerifyPass(FILE* f, uint8_t* image)
{
    for (int p = 0; p < kRomBytes; ++p) {
        Progress(p, "\rVerify ... %d %% ");
        if (!NextByte(f, &image[p]))
            return Pass::FileEnded;
        uint8_t v = 0;
        if (!SequentialRead(&v)) {
            // A data read that fails once access is open cannot confirm the
            // byte: it counts as a difference.
            return RWFlag == 0 ? Pass::CannotOpenSequential : Pass::Failed;
        }
        if (v != image[p])
            return Pass::Failed;
    }
    return Pass::Done;
}

// Ends a run after the chip has been touched: the address registers go back
// to 0 and the file is closed.
int Finish(FILE* f, int result)
{
    if (f != nullptr)
        fclose(f);
    ExitCmd();
    return result;
}

}  // namespace

}  // namespace hotkey

using namespace hotkey;

extern "C" int HOTKEY_CALL WriteToRom(const char* path)
{
    uint8_t image[kRomBytes];
    int attempt = 0;
    for (;;) {
        BurnStage.store((int8_t)(attempt << kStageAttemptShift));
        RWFlag = 0;
        FILE* f = fopen(path, "rb");
        if (f == nullptr) {
            TraceLine("\nCan't Find File");
            // A later attempt has already talked to the chip.
            return attempt == 0 ? kResultNoFile : Finish(nullptr, kResultNoFile);
        }
        RWFlag = 0;
        Percentage.store(0);

        // A file that lacks the last bytes of the image is refused, signed
        // or not: nothing is made up for the missing positions.
        const long size = FileSize(f);
        if (size < kRomBytes) {
            TraceLine("\nThis FW file holds %ld bytes, not %d.\n\n", size, kRomBytes);
            return Finish(f, kResultBadFile);
        }
        uint8_t sig0 = 0, sig1 = 0;
        if (fseek(f, kSignatureOffset, SEEK_SET) == 0) {
            (void)NextByte(f, &sig0);
            (void)NextByte(f, &sig1);
        }
        if (sig0 != kSignature0 || sig1 != kSignature1) {
            TraceLine("\nThis FW is not for 218(%2x%2x).\n\n", (unsigned)sig0, (unsigned)sig1);
            return Finish(f, kResultBadFile);
        }

        uint8_t chip0 = 0, chip1 = 0;
        const bool chipRead = ROMRead(kSignatureOffset, &chip0) == 1 && ROMRead(kSignatureOffset + 1, &chip1) == 1;
        if (!chipRead || chip0 != kSignature0 || chip1 != kSignature1) {
            TraceLine("\nThis IC is not 218(%x).\n\n", (unsigned)chip0 << 8 | chip1);
            return Finish(f, kResultBadChip);
        }

        fclose(f);
        RWFlag = 0;
        BurnStage.store((int8_t)(BurnStage.load() | kStageWritePass));
        f = fopen(path, "rb");
        if (f == nullptr) {
            TraceLine("\nCan't Find File");
            return Finish(nullptr, kResultNoFile);
        }
        const Pass written = WritePass(f, image);
        if (written == Pass::FileEnded) {
            TraceLine("\nFW file ended early in the write pass\n");
            return Finish(f, kResultNoFile);
        }
        if (written == Pass::Failed) {
            TraceLine("\nRetry!\n");
            if (++attempt == kAttempts)
                return Finish(f, kResultWriteFailed);
            fclose(f);
            continue;
        }

        TraceLine("W Finish\n");
        fclose(f);
        BurnStage.store((int8_t)(BurnStage.load() | kStageVerifyPass));
        RWFlag = 0;
        f = fopen(path, "rb");
        if (f == nullptr) {
            TraceLine("\nCan't Find File");
            return Finish(nullptr, kResultNoFile);
        }
        const Pass verified = VerifyPass(f, image);
        if (verified == Pass::FileEnded) {
            TraceLine("\nFW file ended early in the verify pass\n");
            return Finish(f, kResultNoFile);
        }
        if (verified == Pass::CannotOpenSequential) {
            TraceLine("\nI2C R/W Fail.\n");
            return Finish(f, kResultVerifyFailed);
        }
        if (verified == Pass::Failed) {
            if (++attempt == kAttempts)
                return Finish(f, kResultVerifyFailed);
            fclose(f);
            continue;
        }

        TraceLine("Finish\n");
        return Finish(f, kResultOk);
    }
}

extern "C" int HOTKEY_CALL GetPercentage(int* percentage, int* stage)
{
    *percentage = Percentage.load();
    *stage = BurnStage.load();
    return 1;
}
