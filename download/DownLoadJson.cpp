// The JSON form of the synchronous downloader: its address, its file, the
// gauge it moves (by the gauge's reading) and its download action.
#include "download/DownLoad.h"

#include <memory>

#include "json/jsonrtti.h"

namespace download {

void DescribeType(json::TClassType<IProgressGauge>& t) {
    t.Unit(u"download")
        .Name(u"IProgressGauge")
        .Field(u"MaxValue", &IProgressGauge::MaxValue, &IProgressGauge::SetMaxValue)
        .Field(u"Progress", &IProgressGauge::Progress, &IProgressGauge::SetProgress);
}

void DescribeType(json::TClassType<TDownLoadURL>& t) {
    t.Unit(u"download")
        .Name(u"TDownLoadURL")
        .Field(u"Filename", &TDownLoadURL::Filename)
        .Field(u"URL", &TDownLoadURL::URL)
        .Field(u"OnDownloadProgress", &TDownLoadURL::OnDownloadProgress);
}

void TDownLoad::DescribeType(json::TClassType<TDownLoad>& t) {
    t.Unit(u"download")
        .Name(u"TDownLoad")
        .Field(u"FDownLoadFileURL", &TDownLoad::FDownLoadFileURL)
        .Field(u"FLocalFileName", &TDownLoad::FLocalFileName)
        .Field(u"FProgressBar", &TDownLoad::FProgressBar)
        .Field(u"FDownLoadURL", &TDownLoad::FDownLoadURL);
}

json::IJsonValue TDownLoad::ToJson(json::TJsonRttiContext* ctx) {
    std::unique_ptr<json::TJsonRttiContext> own;
    if (!ctx) {
        own = std::make_unique<json::TJsonRttiContext>();
        ctx = own.get();
    }
    TDownLoad* self = this;
    json::TValue value = json::TValue::From(self);
    return ctx->ToJson(value, json::ParseJsonText(u"{}"));
}

}  // namespace download
