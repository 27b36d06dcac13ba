#include "automation/IntegerLoop.h"
#include "connection/ErrorReporting.h"
#include "platform/FileSystem.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt {

using namespace connection;

namespace {

constexpr size_t kLongestName = 259;
constexpr char16_t kDictionaryFiles[] = u"File.ddf, Field.ddf, Index.ddf, Attrib.ddf";

// The array the run time's Split returns: subscripts from 0.
SafeArray<String> Split(StringView text, StringView separator) {
    std::vector<String> parts;
    for (size_t start = 0;;) {
        const size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == StringView::npos ? StringView::npos : end - start));
        if (end == StringView::npos) break;
        start = end + separator.size();
    }
    return SafeArray<String>::Vector(0, std::move(parts));
}

}  // namespace

String ConnectionHelper::AddBackslash(const String& path) {
    if (!path.empty() && path.back() == u'\\') return path;
    return path + u"\\";
}

bool ConnectionHelper::DoesFileExist(const String& strName, bool /*blnThrowException*/) {
    if (strName.size() > kLongestName) Raise(kObjectErrorBase, SourceOf(u"DoesFileExist"), Literal(33));
    // An empty name would find the first file of the current folder.
    if (strName.empty()) return false;
    return platform::FindFirstNormalFile(strName);
}

bool ConnectionHelper::DifferentDates(const SafeArray<String>& Files, const String& SourcePath,
                                      const String& TargetPath) {
    try {
        bool different = false;
        ForInteger(Files.LBound(), Files.UBound(), [&](int16_t i) {
            const String source = SourcePath + Files.At(i);
            const String target = TargetPath + Files.At(i);
            const bool sourceExists = DoesFileExist(source, false);
            const bool targetExists = DoesFileExist(target, false);
            if (sourceExists && targetExists) {
                const int64_t sourceCreated = platform::CreationTime(source);
                const int64_t targetCreated = platform::CreationTime(target);
                different = sourceCreated > targetCreated;
            }
            return !different;
        });
        return different;
    } catch (const Error& e) {
        RaiseWithSource(e, u"Varnholt.ConnectionHelper.DifferentDates");
    }
}

bool ConnectionHelper::CopyFiles(const SafeArray<String>& Files, const String& SourcePath, const String& TargetPath) {
    const String source = SourceOf(u"CopyFiles");
    try {
        ForInteger(Files.LBound(), Files.UBound(), [&](int16_t i) {
            const String target = TargetPath + Files.At(i);
            // An existing target is never replaced, whatever its date.
            if (DoesFileExist(target, false)) return true;
            const String master = SourcePath + Files.At(i);
            if (!DoesFileExist(master, false))
                Raise(kObjectErrorBase + 10004, source, Literal(15) + u" " + master + u" " + Literal(16));
            try {
                platform::CopyFile(master, target);
            } catch (const Error& copyError) {
                Raise(kObjectErrorBase + 10003, source,
                      Literal(15) + u" " + target + u" " + Literal(18) + u"\r\n\r\n" + copyError.Description());
            }
            return true;
        });
        return true;
    } catch (const Error& e) {
        // The two failures raised above pass as they are; anything else is reported as 10004.
        if (e.Source() == source) throw;
        Raise(kObjectErrorBase + 10004, source, e.Description());
    }
}

bool ConnectionHelper::CopyDictionaryFiles(const String& SourcePath, const String& TargetPath) {
    return CopyFiles(Split(kDictionaryFiles, u", "), SourcePath, TargetPath);
}

}  // namespace varnholt
