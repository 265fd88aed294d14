#pragma once
// Every text the window shows. They are kept letter for letter, misspellings included
// ("JpeqQ", "Gifscicle"), because users know the window by them and its tests and
// automation find controls and answers by them: do not correct or reword them.

namespace velmora::ui_text {

inline constexpr char kCaption[] = "Velmora";
inline constexpr char kTitle[] = "Velmora von Halvern %1";  // %1: the version
// While a job runs: the title, pictures done, pictures of the document.
inline constexpr char kTitleProgress[] = "%1 — %2/%3";
inline constexpr char kInvalidQuality[] = "양의 정수를 입력하십시오.";
inline constexpr char kAskStopJob[] =
    "작업이 진행 중입니다.\n작업을 중단하고 창을 닫을까요?\n(만들던 대상 파일과 임시 파일은 지웁니다)";

inline constexpr char kOpenTitle[] = "압축할 한/글 표준문서(HWPX) 또는 HWPML 문서 지정";
inline constexpr char kSaveHmlTitle[] = "저장할 HWPML 문서의 이름 지정";
inline constexpr char kSaveHwpxTitle[] = "저장할 한/글 표준문서(HWPX) 문서의 이름 지정";
// "*.*" matches every file only where every file name has a dot; here it would hide
// files without an extension, so the last filter says "*".
inline constexpr char kFilterHwpxFirst[] =
    "한/글 표준문서 (*.hwpx);;HWPML 2.x 문서 (*.hml);;All files (*)";
inline constexpr char kFilterHmlFirst[] =
    "HWPML 2.x 문서 (*.hml);;한/글 표준문서 (*.hwpx);;All files (*)";

// Controls.
inline constexpr char kSourceLabel[] = "Src";
inline constexpr char kTargetLabel[] = "Dst";
inline constexpr char kChooseButton[] = "Desig";
inline constexpr char kOptionsGroup[] = "options";
inline constexpr char kRules[3][32] = {"BMP → PNG (기본)", "BMP → JPEG", "BMP/PNG → PNGquant"};
// The printing densities offered, in the order of kResolutionPpi.
inline constexpr char kResolutions[5][32] = {"원본 해상도 유지", "300 ppi", "220 ppi", "150 ppi",
                                             "96 ppi"};
inline constexpr char kQualityLabel[] = "JpeqQ:";
inline constexpr char kBackgroundLabel[] = "Bkgr: #";
inline constexpr char kKeepTempCheck[] = "임시파일 유지";
inline constexpr char kOptimiserCheck[] = "Zopflipng/Gifscicle";
inline constexpr char kClassicCheck[] = "Classic";
inline constexpr char kDonateButton[] = "Donate!";
inline constexpr char kRunButton[] = "Run!";
inline constexpr char kCloseButton[] = "닫기";
inline constexpr char kAboutAction[] = "Velmora 정보(&A)...";

// Tool tips.
inline constexpr char kTipQuality[] = "JPEG 변환시 저장 품질 지정";
inline constexpr char kTipBackground[] = "JPEG 변환시 투명도를 지정색으로 대체";
inline constexpr char kTipKeepTemp[] = "문서에 첨부된 파일을 임시폴더에 추출 후 삭제하지 않음";
inline constexpr char kTipRule[] =
    "이미지 변환 규칙 지정\n- BMP를 PNG로 변환하는 것이 기본\n"
    "- 더 작은 파일 크기를 원하는 경우 JPEG 또는 PNGquant로 변환 가능";
inline constexpr char kTipClassic[] =
    "규칙이 정한 그림만 다시 쓰고,\n나머지 그림과 항목의 무손실 압축은 하지 않음";
inline constexpr char kTipExtra[] = "PNG파일 압축시 Zopflipng로,\nGIF는 Gifsicle로 한번 더 크기를 줄임";
inline constexpr char kTipResolution[] =
    "그림을 문서에 인쇄되는 크기에 필요한 해상도로 줄임\n- 인쇄 220 ppi, 화면 150 ppi, 전자우편 96 ppi";

// The about box.
inline constexpr char kAboutTitle[] = "Velmora 정보";
inline constexpr char kAboutLine[] = "한/글 문서 속 그림을 다시 압축해 문서를 줄입니다.";
inline constexpr char kAboutOk[] = "확인";

}  // namespace velmora::ui_text
