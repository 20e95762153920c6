#pragma once

#include <QLatin1String>

// The protocol's words, shared by every builder and reader. Compared exactly and
// case-sensitively.
namespace ProtocolKey {
constexpr QLatin1String Type("type");
constexpr QLatin1String Result("result");
constexpr QLatin1String Reason("reason");
constexpr QLatin1String SessionId("session_id");
constexpr QLatin1String TcpPort("tcp_port");
constexpr QLatin1String FileSize("file_size");
constexpr QLatin1String FileName("file_name");
constexpr QLatin1String FilePath("file_path");
constexpr QLatin1String FileList("file_list");
constexpr QLatin1String FileType("file_type");
constexpr QLatin1String DateModified("date_modified");
constexpr QLatin1String Finished("finished");
constexpr QLatin1String Sort("sort");
constexpr QLatin1String Key("key");
constexpr QLatin1String Md5("md5");
constexpr QLatin1String Option("option");
constexpr QLatin1String Thumb("thumb");
constexpr QLatin1String Salutatory("salutatory");
constexpr QLatin1String Name("name");
constexpr QLatin1String Version("version");
constexpr QLatin1String Os("os");
constexpr QLatin1String Uuid("uuid");
constexpr QLatin1String Support("support");
} // namespace ProtocolKey

namespace ProtocolValue {
constexpr QLatin1String Ok("ok");
constexpr QLatin1String Fail("fail");
constexpr QLatin1String NotComplete("not_complete");
constexpr QLatin1String Client("client");
constexpr QLatin1String Server("server");
constexpr QLatin1String Normal("normal");
constexpr QLatin1String Secure("secure");
constexpr QLatin1String Dir("dir");
constexpr QLatin1String File("file");
constexpr QLatin1String ProtocolVersion("v1.0");
constexpr QLatin1String FileUploadFeature("file_upload");

constexpr QLatin1String FileNameIncrease("file_name_increase");
constexpr QLatin1String FileNameDecrease("file_name_decrease");
constexpr QLatin1String FileSizeIncrease("file_size_increase");
constexpr QLatin1String FileSizeDecrease("file_size_decrease");
constexpr QLatin1String DateModifiedIncrease("date_modified_increase");
constexpr QLatin1String DateModifiedDecrease("date_modified_decrease");
} // namespace ProtocolValue

namespace ProtocolType {
constexpr QLatin1String FileList("file_list");
constexpr QLatin1String FileUpload("file_upload");
constexpr QLatin1String FileDownload("file_download");
constexpr QLatin1String QueryResult("query_result");
constexpr QLatin1String FileOpen("file_open");
constexpr QLatin1String FileDelete("file_delete");
constexpr QLatin1String GetThumb("get_thumb");
constexpr QLatin1String Salutatory("salutatory");
constexpr QLatin1String FileDistribution("file_distribution");
} // namespace ProtocolType

namespace ProtocolPort {
constexpr quint16 Discovery = 16020;
constexpr quint16 Operation = 16021;
} // namespace ProtocolPort

// TCP data streams move file contents in steps of this size on the client's own connections.
constexpr qint64 TransferBlockSize = 262144;
