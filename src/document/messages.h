#pragma once
// The texts the document processors show the user and write to the process log. They
// are kept letter for letter, misspellings included ("fained"), because users and
// their tools know them: do not correct or reword them. Formats are printf formats.

namespace velmora::document_text {

// Shown to the user: HWPX packages.
inline constexpr char kHwpxOpenFailed[] = "HwpX 파일 열기 실패!";
inline constexpr char kHwpxNotZip[] = "HwpX 형식만 처리 가능!\n(zip 파일 아님)";
inline constexpr char kHwpxNoEntries[] = "HwpX 형식만 처리 가능!\n(데이터 없음)";
inline constexpr char kHwpxNoMime[] = "HwpX 형식만 처리 가능!\n(mime 정보 없음)";
inline constexpr char kHwpxWrongMime[] = "HwpX 형식만 처리 가능!";
inline constexpr char kHwpxNoManifest[] = "HwpX 형식만 처리 가능!\n(content 정보 없음)";
inline constexpr char kHwpxCopyFailed[] = "파일 복사 실패!";
inline constexpr char kHwpxWriteFailed[] = "HwpX 파일 쓰기 실패!\n(그림 교체 중 오류)";
inline constexpr char kHwpxRepeatedEntry[] =
    "HwpX 파일 손상!\n(같은 이름의 항목이 둘 이상 있음)";

// Shown to the user: both forms.
inline constexpr char kTempFolderFull[] = "임시 폴더의 공간이 부족함!\n(작업 파일을 쓸 수 없음)";
inline constexpr char kTempFolderUnwritable[] = "임시 폴더에 쓸 수 없음!\n(작업 파일을 쓸 수 없음)";
inline constexpr char kStopped[] = "작업이 중단됨!\n(대상 파일은 만들지 않음)";

// Shown to the user: HWPML documents.
inline constexpr char kHwpmlOpenFailed[] = "HwpML 파일 열기 실패!";
inline constexpr char kHwpmlFormatOnly[] = "HwpML 형식만 처리 가능!";
inline constexpr char kHwpmlNotXml[] = "HwpML 형식만 처리 가능!\n(xml 파일 아님)";
inline constexpr char kHwpmlNotHwpml[] = "HwpML 형식만 처리 가능!\n(xml 파일이나 HwpML은 아님)";
inline constexpr char kHwpmlNoList[] = "첨부 파일 목록 없음!";
inline constexpr char kHwpmlItemInfo[] = "첨부 파일 정보 읽기 오류!";
inline constexpr char kHwpmlListClose[] = "첨부 파일 정보 닫기 태그 없음!";
inline constexpr char kHwpmlNoData[] = "첨부 파일 데이터 없음!";
inline constexpr char kHwpmlDataClose[] = "첨부 파일 데이터 끝 태그(</BINDATA>) 없음!";
inline constexpr char kHwpmlDataZeroByte[] =
    "첨부 파일 데이터에 0 바이트가 있음!\n(문서가 손상되었거나 XML 문서가 아님)";
inline constexpr char kHwpmlStorageClose[] = "첨부 파일 데이터 닫기 태그 없음!";
inline constexpr char kHwpmlPairing[] =
    "첨부 파일 목록과 데이터를 짝지을 수 없음!\n(번호가 없거나 중복됨)";
inline constexpr char kHwpmlOrder[] = "첨부 파일 데이터 미확인 오류!";
inline constexpr char kHwpmlReopen[] = "파일 복사 실패! (step#1 / 읽기)";
inline constexpr char kHwpmlCreate[] = "파일 복사 실패! (step#1 / 쓰기)";
inline constexpr char kHwpmlCopy1[] = "파일 복사 실패! (step#1)";
inline constexpr char kHwpmlCopy2[] = "파일 복사 실패! (step#2)";
inline constexpr char kHwpmlCopy3[] = "파일 복사 실패! (step#3)";
inline constexpr char kHwpmlWriteFailed[] = "HwpML 파일 쓰기 실패!";

// Log lines of both processors.
inline constexpr char kLogHeading[] = "**Velmora process LOG**";
inline constexpr char kLogHwpxType[] = "file type: `HwpX`";
inline constexpr char kLogHwpmlType[] = "file type: `HwpML`";
inline constexpr char kLogSource[] = "source: ";
inline constexpr char kLogTarget[] = "target: ";
inline constexpr char kLogProcessing[] = "*processing embedded #%d*";
inline constexpr char kLogNothingToDo[] = "nothing to do";
inline constexpr char kLogStopped[] = "stopped on request, no target written";

// Log lines: HWPX packages.
inline constexpr char kLogItemTags[] = "*%d <opf:item> tag(s) found*";
inline constexpr char kLogNoManifest[] = "`Contents/content.hpf` not found";
inline constexpr char kLogDeleteFailed[] = "deleting `%s` failed!";
inline constexpr char kLogAddFailed[] = "adding `%s` failed!";
inline constexpr char kLogManifestFailed[] = "writing `Contents/content.hpf` failed!";
inline constexpr char kLogPackageFailed[] = "writing the package failed!";
inline constexpr char kLogRepeatedEntry[] = "entry `%s` appears more than once in the package!";
inline constexpr char kLogSharedEntry[] = "`%s` was replaced by `%s` for an earlier item: shared";
inline constexpr char kLogEntryStillNamed[] = "`%s` is still named by a kept item: entry kept";
inline constexpr char kLogWorkingCopyFailed[] = "copying the source to `%s` failed: %s";
inline constexpr char kLogPackagePicture[] = "*processing `%s`*";
inline constexpr char kLogRecompressed[] = "%d of %d entries stored more compactly: %lld bytes saved";
inline constexpr char kLogSourceKept[] = "the target was not smaller: the source's bytes kept";

// Log lines: HWPML documents.
inline constexpr char kLogNoList[] = "no embedded list!";
inline constexpr char kLogItemsFound[] = "*%lld embedded file(s) found*";
inline constexpr char kLogItemInfoFailed[] = "reading embedded file info failed!";
inline constexpr char kLogItem[] = "embedded #%lld: %s";
inline constexpr char kLogListClose[] = "</BINDATALIST> tag closing not found!";
inline constexpr char kLogNoData[] = "no embedded data!";
inline constexpr char kLogDataClose[] = "</BINDATA> tag closing not found!";
inline constexpr char kLogDataZeroByte[] = "<BINDATA> data holds a zero byte at offset %lld!";
inline constexpr char kLogStorageClose[] = "</BINDATASTORAGE> tag closing not found!";
inline constexpr char kLogPairing[] = "embedded list and data cannot be paired by number!";
inline constexpr char kLogOrder[] = "embedded file!";
inline constexpr char kLogDataOutside[] =
    "embedded #%lld has its data outside the document: nothing to do";
inline constexpr char kLogDecodingFailed[] = "embedded #%lld: decoding failed";
inline constexpr char kLogSizeDiffers[] = "embedded #%lld: Size says %lld bytes, its data holds %lld";
inline constexpr char kLogUnknown[] = "embedded %lld is UNKNOWN";
inline constexpr char kLogReopenFailed[] = "copying file fained (step#1 / reading)!";
inline constexpr char kLogCreateFailed[] = "copying file fained (step#2 / writing)!";
inline constexpr char kLogCopy1Failed[] = "copying file fained (step#1)!";
inline constexpr char kLogCopy2Failed[] = "copying file fained (step#2)!";
inline constexpr char kLogCopy3Failed[] = "copying file fained (step#3)!";
inline constexpr char kLogWritingList[] = "*writing <BINDATALIST Count=\"%zu\">*";
inline constexpr char kLogWritingItem[] = "writing <BINITEM> %zu to HwpML...";
inline constexpr char kLogWritingStorage[] = "*writing <BINDATASTORAGE>*";
inline constexpr char kLogDataWithoutItem[] = "data %s without a listed item: back to original data";
inline constexpr char kLogWritingData[] = "writing <BINDATA> %lld to HwpML...";
inline constexpr char kLogBackToOriginal[] = "embedded #%lld : back to original file";
inline constexpr char kLogImageProcessed[] = "embedded #%lld : image file processed";
inline constexpr char kLogDeflatedAgain[] = "embedded #%lld: compressed again, %lld -> %lld bytes";
inline constexpr char kLogWritingDeflated[] = "embedded #%lld : compressed data rewritten";
inline constexpr char kLogTargetFailed[] = "writing the target failed!";
inline constexpr char kLogLastPart[] = "writing last part to HwpML...";
inline constexpr char kLogClosing[] = "closing...";

}  // namespace velmora::document_text
