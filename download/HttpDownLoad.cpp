#include "download/HttpDownLoad.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <thread>

#include "download/DownLoadTexts.h"
#include "http/NetHTTP.h"
#include "platform/codepage.h"
#include "platform/stream.h"

namespace download {

namespace {

std::u16string MessageOf(const std::exception& e) {
    if (auto* own = dynamic_cast<const platform::Exception*>(&e)) return own->Message();
    return platform::Utf8ToText(e.what());
}

std::u16string ReplaceFirst(std::u16string text, std::u16string_view placeholder,
                            const std::u16string& value) {
    size_t at = text.find(placeholder);
    if (at != std::u16string::npos) text.replace(at, placeholder.size(), value);
    return text;
}

// A regular file or anything else that is not a folder counts as present.
bool FileExists(const std::u16string& name) {
    std::error_code ec;
    std::filesystem::path path(platform::TextToUtf8(name));
    auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

}  // namespace

THttpDownLoad::THttpDownLoad(IProgressGauge* ProgressBar, IDownLoadWindow* Window)
    : FProgressBar(ProgressBar), FWindow(Window) {}

THttpDownLoad::~THttpDownLoad() {
    // The run uses this object's members; it must end before they go.
    Terminate();
    if (Started() && !Finished()) {
        try {
            WaitFor();
        } catch (const platform::Exception&) {
            // Destroyed from inside its own run: the base lets it finish.
        }
    }
}

void THttpDownLoad::DownLoad() {
    if (FProgressBar != nullptr) Start();
}

std::u16string THttpDownLoad::LastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

void THttpDownLoad::ShowMessage(const std::u16string& text) {
    if (FWindow != nullptr)
        FWindow->ShowMessage(text);
    else
        std::cerr << platform::TextToUtf8(text) << std::endl;
}

void THttpDownLoad::Fail(const std::u16string& message) {
    {
        std::lock_guard lock(errorMutex_);
        lastError_ = message;
    }
    FIdHTTP.reset();
    Terminate();
    if (OnDownLoadError) OnDownLoadError(this);
}

void THttpDownLoad::Execute() {
    FIdHTTP = std::make_unique<http::TNetHTTP>();
    FIdHTTP->ProtocolVersion = http::pv1_1;
    FIdHTTP->HandleRedirects = true;

    // A failed size request ends the run through the error event, so that the
    // caller is never left waiting.
    try {
        FIdHTTP->Head(FDownLoadUrl);
    } catch (const std::exception& e) {
        Fail(MessageOf(e));
        return;
    }
    // Only the low 32 bits of the size take part, as a signed number.
    const auto length = static_cast<int32_t>(FIdHTTP->Response().ContentLength);
    int64_t position = 0;
    bytesTotal_ = length;

    if (FileExists(FLocalFileName)) {
        try {
            platform::TFileStream existing(FLocalFileName,
                                           platform::fmOpenRead | platform::fmShareDenyWrite);
            position = existing.GetSize();
        } catch (const std::exception& e) {
            std::u16string message = ReplaceFirst(texts::kOpenFileFailed, u"%S", FLocalFileName);
            ShowMessage(message);
            Fail(message);
            return;
        }
    }
    bytesDone_ = position;
    ProgressStep(static_cast<int32_t>(position), length);

    // One piece at a time; the buffer keeps its capacity between pieces.
    platform::TMemoryStream piece;

    while (!Terminated()) {
        if (static_cast<int64_t>(length) <= position) {
            FIdHTTP.reset();
            Terminate();
            if (OnDownLoadFinish) OnDownLoadFinish(this);
            break;
        }
        try {
            // The client's body positions are 32-bit; a larger file is
            // outside what this downloader handles.
            if (position > INT32_MAX)
                throw platform::ERangeError(texts::kPositionBeyond2GiB);
            std::string range = std::to_string(position) + "-";
            if (position + kPieceSize < static_cast<int64_t>(length))
                range += std::to_string(position + kPieceSize - 1);
            FIdHTTP->Request().Range = platform::AsciiToText(range);

            piece.SetSize(0);
            FIdHTTP->Get(FIdHTTP->URL().GetURI(), piece);
            // A piece without any byte would make the loop ask for the same
            // range forever.
            if (piece.GetSize() == 0)
                throw platform::Exception(
                    ReplaceFirst(texts::kNoDataReceived, u"%s", platform::AsciiToText(range)));
            AppendPiece(position, piece.View());
            position += piece.GetSize();
            bytesDone_ = position;
            ProgressStep(static_cast<int32_t>(position), length);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } catch (const std::exception& e) {
            Fail(MessageOf(e));
            break;
        }
    }
}

// Writes one piece after the first `position` bytes of the local file. A
// piece that cannot be written whole is cut off again, so the file stays a
// valid prefix of the download.
void THttpDownLoad::AppendPiece(int64_t position, const std::string_view piece) {
    if (position == 0) {
        platform::TFileStream file(FLocalFileName, platform::fmCreate);
        try {
            file.WriteBuffer(piece.data(), static_cast<int64_t>(piece.size()));
        } catch (...) {
            try { file.SetSize(0); } catch (...) {}
            throw;
        }
        return;
    }
    platform::TFileStream file(FLocalFileName, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
    file.SetSize(position);
    file.Seek(position, platform::soBeginning);
    try {
        file.WriteBuffer(piece.data(), static_cast<int64_t>(piece.size()));
    } catch (...) {
        try { file.SetSize(position); } catch (...) {}
        throw;
    }
}

void THttpDownLoad::ProgressStep(int32_t pos, int32_t len) {
    if (FProgressBar == nullptr || len <= 0) return;
    const auto extra = static_cast<int64_t>(std::trunc(static_cast<long double>(len) * 0.1L));
    FProgressBar->SetMaxValue(static_cast<int64_t>(len) + extra);
    FProgressBar->SetProgress(static_cast<int64_t>(pos));
    if (FWindow == nullptr) return;
    if (IProgressGauge* install = FWindow->InstallGauge()) {
        std::u16string text = PercentText(*install);
        if (!text.empty()) FWindow->SetPercentText(text);
    }
}

}  // namespace download
