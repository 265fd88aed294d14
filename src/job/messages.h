#pragma once
// The texts the job driver shows and logs. They are kept letter for letter as users
// and their tools know them: do not correct or reword them.

namespace velmora::job_text {

inline constexpr char kSamePaths[] = "Src/Dst 파일명이 동일함";
inline constexpr char kNotADocument[] = "한/글 표준문서(HWPX) 또는 HWPML 파일이 아님!";
inline constexpr char kBinaryDocument[] =
    "한/글 표준문서(HWPX) 또는 HWPML 파일이 아님!\n(HWP 파일은 HWPX로 다시 저장하기 바랍니다)";
inline constexpr char kSourceMissing[] = "원본 파일이 없음!";
inline constexpr char kSourceDenied[] = "원본 파일을 읽을 권한이 없음!";
inline constexpr char kSourceIsFolder[] = "원본이 파일이 아니라 폴더임!";
inline constexpr char kSourceNotRegular[] = "원본이 일반 파일이 아님!\n(FIFO나 장치 파일은 읽지 않음)";
inline constexpr char kSourceUnreadable[] = "원본 파일을 읽을 수 없음!";
inline constexpr char kUnexpectedFailure[] = "작업 중 예기치 않은 오류가 발생함";
// printf formats: kilobytes before and after, percent saved; failed inflations; time.
inline constexpr char kSummary[] = "작업 완료: %dKB → %dKB, %.2f%% 감소";
inline constexpr char kFailedInflations[] =
    "\n%d개의 압축된 이미지 압축 해제 실패, \"그림 압축하기\" 해제를 권고함";
inline constexpr char kElapsed[] = "\n(%s)";
// Pictures reduced to the printing density (--ppi): count, ppi, kilobytes saved.
inline constexpr char kResampled[] = "\n그림 %d개를 %dppi에 맞춰 줄임: %dKB 감소";

// Log lines.
inline constexpr char kHwpmlFinished[] = "*writing HWPML finished!*";
inline constexpr char kHwpxFinished[] = "*writing HWPX finished!*";
inline constexpr char kLogResampled[] = "*%d picture(s) resampled for %d ppi, %lld bytes saved*";
inline constexpr char kLogSourceProblem[] = "source `%s` cannot be read: %s";

}  // namespace velmora::job_text
