#include "documents.h"

#include <zip.h>
#include <zlib.h>

#include <cstdio>
#include <stdexcept>

namespace samples {

namespace {

std::string Format(const char* format, long long a = 0, long long b = 0, long long c = 0,
                   long long d = 0) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, a, b, c, d);
  return buffer;
}

// Size on the page in HWP units (1/7200 inch), at 96 dpi and at most 15 cm wide.
void PageSize(const SamplePicture& p, long long& width, long long& height) {
  width = p.pixelWidth * 75;
  height = p.pixelHeight * 75;
  const long long maxWidth = 42520;
  if (width > maxWidth) {
    height = height * maxWidth / width;
    width = maxWidth;
  }
}

const char kNamespaces[] =
    "xmlns:ha=\"http://www.hancom.co.kr/hwpml/2011/app\" "
    "xmlns:hp=\"http://www.hancom.co.kr/hwpml/2011/paragraph\" "
    "xmlns:hs=\"http://www.hancom.co.kr/hwpml/2011/section\" "
    "xmlns:hc=\"http://www.hancom.co.kr/hwpml/2011/core\" "
    "xmlns:hh=\"http://www.hancom.co.kr/hwpml/2011/head\" "
    "xmlns:hpf=\"http://www.hancom.co.kr/schema/2011/hpf\" "
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "xmlns:opf=\"http://www.idpf.org/2007/opf/\"";

const char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>";

std::string HeaderXml() {
  std::string fontfaces;
  for (const char* lang : {"HANGUL", "LATIN", "HANJA", "JAPANESE", "OTHER", "SYMBOL", "USER"}) {
    fontfaces += std::string("<hh:fontface lang=\"") + lang +
                 "\" fontCnt=\"1\"><hh:font id=\"0\" face=\"함초롬바탕\" type=\"TTF\" "
                 "isEmbedded=\"0\"/></hh:fontface>";
  }
  return std::string(kXmlDeclaration) + "<hh:head " + kNamespaces +
         " version=\"1.4\" secCnt=\"1\"><hh:beginNum page=\"1\" footnote=\"1\" endnote=\"1\" "
         "pic=\"1\" tbl=\"1\" equation=\"1\"/><hh:refList><hh:fontfaces itemCnt=\"7\">" +
         fontfaces +
         "</hh:fontfaces><hh:borderFills itemCnt=\"1\"><hh:borderFill id=\"1\" threeD=\"0\" "
         "shadow=\"0\" centerLine=\"NONE\" breakCellSeparateLine=\"0\"><hh:leftBorder "
         "type=\"NONE\" width=\"0.1 mm\" color=\"#000000\"/><hh:rightBorder type=\"NONE\" "
         "width=\"0.1 mm\" color=\"#000000\"/><hh:topBorder type=\"NONE\" width=\"0.1 mm\" "
         "color=\"#000000\"/><hh:bottomBorder type=\"NONE\" width=\"0.1 mm\" "
         "color=\"#000000\"/></hh:borderFill></hh:borderFills><hh:charProperties "
         "itemCnt=\"1\"><hh:charPr id=\"0\" height=\"1000\" textColor=\"#000000\" "
         "shadeColor=\"none\" useFontSpace=\"0\" useKerning=\"0\" symMark=\"NONE\" "
         "borderFillIDRef=\"1\"><hh:fontRef hangul=\"0\" latin=\"0\" hanja=\"0\" japanese=\"0\" "
         "other=\"0\" symbol=\"0\" user=\"0\"/></hh:charPr></hh:charProperties>"
         "<hh:paraProperties itemCnt=\"1\"><hh:paraPr id=\"0\" tabPrIDRef=\"0\" "
         "condense=\"0\"><hh:align horizontal=\"JUSTIFY\" vertical=\"BASELINE\"/><hh:lineSpacing "
         "type=\"PERCENT\" value=\"160\" unit=\"HWPUNIT\"/></hh:paraPr></hh:paraProperties>"
         "<hh:styles itemCnt=\"1\"><hh:style id=\"0\" type=\"PARA\" name=\"바탕글\" "
         "engName=\"Normal\" paraPrIDRef=\"0\" charPrIDRef=\"0\" nextStyleIDRef=\"0\" "
         "langID=\"1042\" lockForm=\"0\"/></hh:styles></hh:refList></hh:head>";
}

std::string Paragraph(int id, const std::string& runContent) {
  return Format("<hp:p id=\"%lld\" paraPrIDRef=\"0\" styleIDRef=\"0\" pageBreak=\"0\" "
                "columnBreak=\"0\" merged=\"0\"><hp:run charPrIDRef=\"0\">",
                id) +
         runContent + "</hp:run></hp:p>";
}

std::string PictureXml(const SamplePicture& p, int index) {
  long long w, h;
  PageSize(p, w, h);
  const long long ow = p.pixelWidth * 75, oh = p.pixelHeight * 75;
  return Format("<hp:pic id=\"%lld\" zOrder=\"%lld\" numberingType=\"PICTURE\" "
                "textWrap=\"TOP_AND_BOTTOM\" textFlow=\"BOTH_SIDES\" lock=\"0\" "
                "dropcapstyle=\"None\" href=\"\" groupLevel=\"0\" instid=\"%lld\" reverse=\"0\">",
                1000 + index, index, 2000 + index) +
         "<hp:offset x=\"0\" y=\"0\"/>" +
         Format("<hp:orgSz width=\"%lld\" height=\"%lld\"/><hp:curSz width=\"%lld\" "
                "height=\"%lld\"/>",
                ow, oh, w, h) +
         "<hp:flip horizontal=\"0\" vertical=\"0\"/>" +
         Format("<hp:rotationInfo angle=\"0\" centerX=\"%lld\" centerY=\"%lld\" "
                "rotateimage=\"1\"/>",
                w / 2, h / 2) +
         "<hp:renderingInfo><hc:transMatrix e1=\"1\" e2=\"0\" e3=\"0\" e4=\"0\" e5=\"1\" "
         "e6=\"0\"/><hc:scaMatrix e1=\"1\" e2=\"0\" e3=\"0\" e4=\"0\" e5=\"1\" e6=\"0\"/>"
         "<hc:rotMatrix e1=\"1\" e2=\"0\" e3=\"0\" e4=\"0\" e5=\"1\" e6=\"0\"/></hp:renderingInfo>" +
         Format("<hp:imgRect><hc:pt0 x=\"0\" y=\"0\"/><hc:pt1 x=\"%lld\" y=\"0\"/><hc:pt2 "
                "x=\"%lld\" y=\"%lld\"/><hc:pt3 x=\"0\" y=\"%lld\"/></hp:imgRect>",
                ow, ow, oh, oh) +
         Format("<hp:imgClip left=\"0\" right=\"%lld\" top=\"0\" bottom=\"%lld\"/>", ow, oh) +
         "<hp:inMargin left=\"0\" right=\"0\" top=\"0\" bottom=\"0\"/>" +
         Format("<hp:imgDim dimwidth=\"%lld\" dimheight=\"%lld\"/>", ow, oh) +
         "<hc:img binaryItemIDRef=\"" + p.id +
         "\" bright=\"0\" contrast=\"0\" effect=\"REAL_PIC\" alpha=\"0\"/><hp:effects/>" +
         Format("<hp:sz width=\"%lld\" widthRelTo=\"ABSOLUTE\" height=\"%lld\" "
                "heightRelTo=\"ABSOLUTE\" protect=\"0\"/>",
                w, h) +
         "<hp:pos treatAsChar=\"1\" affectLSpacing=\"0\" flowWithText=\"1\" allowOverlap=\"0\" "
         "holdAnchorAndSO=\"0\" vertRelTo=\"PARA\" horzRelTo=\"PARA\" vertAlign=\"TOP\" "
         "horzAlign=\"LEFT\" vertOffset=\"0\" horzOffset=\"0\"/><hp:outMargin left=\"0\" "
         "right=\"0\" top=\"0\" bottom=\"0\"/><hp:shapeComment>" + p.caption +
         "</hp:shapeComment></hp:pic>";
}

std::string SectionXml(const std::vector<SamplePicture>& pictures) {
  const std::string sectionProperties =
      "<hp:secPr id=\"\" textDirection=\"HORIZONTAL\" spaceColumns=\"1134\" tabStop=\"8000\" "
      "tabStopVal=\"4000\" tabStopUnit=\"HWPUNIT\" outlineShapeIDRef=\"0\" memoShapeIDRef=\"0\" "
      "textVerticalWidthHead=\"0\" masterPageCnt=\"0\"><hp:grid lineGrid=\"0\" charGrid=\"0\" "
      "wonggojiFormat=\"0\"/><hp:startNum pageStartsOn=\"BOTH\" page=\"0\" pic=\"0\" tbl=\"0\" "
      "equation=\"0\"/><hp:visibility hideFirstHeader=\"0\" hideFirstFooter=\"0\" "
      "hideFirstMasterPage=\"0\" border=\"SHOW_ALL\" fill=\"SHOW_ALL\" hideFirstPageNum=\"0\" "
      "hideFirstEmptyLine=\"0\" showLineNumber=\"0\"/><hp:pagePr landscape=\"WIDELY\" "
      "width=\"59528\" height=\"84188\" gutterType=\"LEFT_ONLY\"><hp:margin header=\"4252\" "
      "footer=\"4252\" gutter=\"0\" left=\"8504\" right=\"8504\" top=\"5668\" "
      "bottom=\"4252\"/></hp:pagePr></hp:secPr>";
  std::string body = Paragraph(0, sectionProperties + "<hp:t>Velmora 예제 문서: 그림 다섯 개</hp:t>");
  int id = 1;
  for (size_t i = 0; i < pictures.size(); ++i) {
    body += Paragraph(id++, PictureXml(pictures[i], static_cast<int>(i) + 1) + "<hp:t/>");
    body += Paragraph(id++, "<hp:t>" + pictures[i].caption + "</hp:t>");
  }
  return std::string(kXmlDeclaration) + "<hs:sec " + kNamespaces + ">" + body + "</hs:sec>";
}

const char* MediaType(const std::string& extension) {
  if (extension == "jpg") return "image/jpg";
  if (extension == "bmp") return "image/bmp";
  if (extension == "png") return "image/png";
  return "image/gif";
}

std::string ContentHpf(const std::vector<SamplePicture>& pictures) {
  std::string items =
      "<opf:item id=\"header\" href=\"Contents/header.xml\" media-type=\"application/xml\"/>";
  for (const SamplePicture& p : pictures) {
    items += "<opf:item id=\"" + p.id + "\" href=\"BinData/" + p.id + "." + p.extension +
             "\" media-type=\"" + MediaType(p.extension) + "\" isEmbeded=\"1\"/>";
  }
  items +=
      "<opf:item id=\"section0\" href=\"Contents/section0.xml\" media-type=\"application/xml\"/>"
      "<opf:item id=\"settings\" href=\"settings.xml\" media-type=\"application/xml\"/>";
  return std::string(kXmlDeclaration) + "<opf:package " + kNamespaces +
         " version=\"\" unique-identifier=\"\" id=\"\"><opf:metadata><opf:title>Velmora 예제"
         "</opf:title><opf:language>ko</opf:language><opf:meta name=\"creator\" "
         "content=\"text\">Velmora</opf:meta></opf:metadata><opf:manifest>" +
         items +
         "</opf:manifest><opf:spine><opf:itemref idref=\"header\" linear=\"yes\"/><opf:itemref "
         "idref=\"section0\" linear=\"yes\"/></opf:spine></opf:package>";
}

std::string Utf16Le(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += static_cast<char>(c & 0xFF), out += static_cast<char>(c >> 8);
  return out;
}

struct Entry {
  std::string name;
  std::string bytes;
  bool deflate;
};

}  // namespace

bool WriteHwpx(const std::string& path, const std::vector<SamplePicture>& pictures) {
  std::vector<Entry> entries;
  // mimetype first and stored: readers identify the package by its first bytes.
  entries.push_back({"mimetype", "application/hwp+zip", false});
  entries.push_back({"version.xml",
                     std::string(kXmlDeclaration) +
                         "<hv:HCFVersion xmlns:hv=\"http://www.hancom.co.kr/hwpml/2011/version\" "
                         "tagetApplication=\"WORDPROCESSOR\" major=\"5\" minor=\"1\" micro=\"0\" "
                         "buildNumber=\"1\" os=\"1\" xmlVersion=\"1.4\" application=\"Velmora "
                         "sample generator\" appVersion=\"1, 0, 0, 0\"/>",
                     true});
  entries.push_back({"Contents/header.xml", HeaderXml(), true});
  for (const SamplePicture& p : pictures) {
    entries.push_back({"BinData/" + p.id + "." + p.extension, p.bytes, p.deflateInPackage});
  }
  entries.push_back({"Contents/section0.xml", SectionXml(pictures), true});
  entries.push_back({"Preview/PrvText.txt", Utf16Le(u"Velmora 예제 문서: 그림 다섯 개\r\n"), true});
  entries.push_back({"settings.xml",
                     std::string(kXmlDeclaration) +
                         "<ha:HWPApplicationSetting xmlns:ha=\"http://www.hancom.co.kr/hwpml/2011/"
                         "app\"><ha:CaretPosition listIDRef=\"0\" paraIDRef=\"0\" pos=\"0\"/>"
                         "</ha:HWPApplicationSetting>",
                     true});
  entries.push_back({"META-INF/container.xml",
                     std::string(kXmlDeclaration) +
                         "<ocf:container xmlns:ocf=\"urn:oasis:names:tc:opendocument:xmlns:"
                         "container\" xmlns:hpf=\"http://www.hancom.co.kr/schema/2011/hpf\">"
                         "<ocf:rootfiles><ocf:rootfile full-path=\"Contents/content.hpf\" "
                         "media-type=\"application/hwpml-package+xml\"/><ocf:rootfile "
                         "full-path=\"Preview/PrvText.txt\" media-type=\"text/plain\"/>"
                         "</ocf:rootfiles></ocf:container>",
                     true});
  entries.push_back({"META-INF/manifest.xml",
                     std::string(kXmlDeclaration) +
                         "<odf:manifest xmlns:odf=\"urn:oasis:names:tc:opendocument:xmlns:"
                         "manifest:1.0\"/>",
                     true});
  entries.push_back({"Contents/content.hpf", ContentHpf(pictures), true});

  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return false;
  for (const Entry& entry : entries) {
    zip_source_t* source = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
    zip_int64_t index = source ? zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
      zip_source_free(source);
      zip_discard(archive);
      return false;
    }
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                             entry.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 9);
    // A fixed time keeps the sample identical from build to build.
    zip_file_set_dostime(archive, static_cast<zip_uint64_t>(index), 0, (46 << 9) | (3 << 5) | 14, 0);
  }
  return zip_close(archive) == 0;
}

namespace {

std::string Base64(const std::string& bytes) {
  static const char alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    out += alphabet[v >> 18], out += alphabet[(v >> 12) & 63], out += alphabet[(v >> 6) & 63],
        out += alphabet[v & 63];
  }
  if (i + 1 == bytes.size()) {
    uint32_t v = uint8_t(bytes[i]) << 16;
    out += alphabet[v >> 18], out += alphabet[(v >> 12) & 63], out += "==";
  } else if (i + 2 == bytes.size()) {
    uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
    out += alphabet[v >> 18], out += alphabet[(v >> 12) & 63], out += alphabet[(v >> 6) & 63],
        out += '=';
  }
  return out;
}

// Raw deflate (no zlib header), as compressed HWPML items hold their bytes.
std::string RawDeflate(const std::string& bytes) {
  z_stream stream{};
  if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

const char* HwpmlFormat(const std::string& extension) { return extension.c_str(); }

}  // namespace

std::string MakeHwpml(const std::vector<SamplePicture>& pictures) {
  std::string list = Format("<BINDATALIST Count=\"%lld\">", static_cast<long long>(pictures.size()));
  std::string storage = "<BINDATASTORAGE>";
  std::string body;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const SamplePicture& p = pictures[i];
    const long long k = static_cast<long long>(i) + 1;
    list += Format("<BINITEM BinData=\"%lld\" Format=\"", k) + HwpmlFormat(p.extension) +
            "\" Type=\"Embedding\"/>";
    const std::string data = p.compressInHwpml ? RawDeflate(p.bytes) : p.bytes;
    storage += std::string("<BINDATA ") + (p.compressInHwpml ? "Compress=\"true\" " : "") +
               Format("Encoding=\"Base64\" Id=\"%lld\" Size=\"%lld\">", k,
                      static_cast<long long>(data.size())) +
               Base64(data) + "</BINDATA>";
    long long w, h;
    PageSize(p, w, h);
    body += Format("<P ParaShape=\"0\" Style=\"0\"><TEXT CharShape=\"0\"><PICTURE Reverse=\"false\">"
                   "<SHAPEOBJECT InstId=\"%lld\" Lock=\"false\" NumberingType=\"Figure\" "
                   "ZOrder=\"%lld\">",
                   3000 + k, k) +
            Format("<SIZE Height=\"%lld\" HeightRelTo=\"Absolute\" Protect=\"false\" "
                   "Width=\"%lld\" WidthRelTo=\"Absolute\"/>",
                   h, w) +
            "<POSITION AffectLSpacing=\"false\" AllowOverlap=\"false\" FlowWithText=\"true\" "
            "HoldAnchorAndSO=\"false\" HorzAlign=\"Left\" HorzOffset=\"0\" HorzRelTo=\"Para\" "
            "TreatAsChar=\"true\" VertAlign=\"Top\" VertOffset=\"0\" VertRelTo=\"Para\"/>"
            "<OUTSIDEMARGIN Bottom=\"0\" Left=\"0\" Right=\"0\" Top=\"0\"/><SHAPECOMMENT>" +
            p.caption + "</SHAPECOMMENT></SHAPEOBJECT><SHAPECOMPONENT>" +
            Format("<ROTATIONINFO Angle=\"0\" CenterX=\"%lld\" CenterY=\"%lld\"/>", w / 2, h / 2) +
            "</SHAPECOMPONENT><IMAGERECT/><IMAGECLIP/><INSIDEMARGIN Bottom=\"0\" Left=\"0\" "
            "Right=\"0\" Top=\"0\"/>" +
            Format("<IMAGE Alpha=\"0\" BinItem=\"%lld\" Bright=\"0\" Contrast=\"0\" "
                   "Effect=\"RealPic\"/></PICTURE></TEXT></P>\r\n",
                   k) +
            "<P ParaShape=\"0\" Style=\"0\"><TEXT CharShape=\"0\"><CHAR>" + p.caption +
            "</CHAR></TEXT></P>\r\n";
  }
  list += "</BINDATALIST>";
  storage += "</BINDATASTORAGE>";
  return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>"
         "<HWPML Style=\"embed\" SubVersion=\"8.0.0.0\" Version=\"2.8\">\r\n<HEAD SecCnt=\"1\">"
         "<DOCSUMMARY><TITLE>Velmora 예제</TITLE></DOCSUMMARY><MAPPINGTABLE>" +
         list +
         "<FACENAMELIST><FONTFACE Count=\"1\" Lang=\"Hangul\"><FONT Id=\"0\" Name=\"함초롬바탕\" "
         "Type=\"ttf\"/></FONTFACE></FACENAMELIST><CHARSHAPELIST Count=\"1\"><CHARSHAPE "
         "Height=\"1000\" Id=\"0\" TextColor=\"0\"/></CHARSHAPELIST><PARASHAPELIST "
         "Count=\"1\"><PARASHAPE Id=\"0\"/></PARASHAPELIST><STYLELIST Count=\"1\"><STYLE "
         "CharShape=\"0\" EngName=\"Normal\" Id=\"0\" Name=\"바탕글\" ParaShape=\"0\" "
         "Type=\"Para\"/></STYLELIST></MAPPINGTABLE></HEAD>\r\n<BODY><SECTION Id=\"0\">\r\n"
         "<P ParaShape=\"0\" Style=\"0\"><TEXT CharShape=\"0\"><CHAR>Velmora 예제 문서: 그림 다섯 개"
         "</CHAR></TEXT></P>\r\n" +
         body + "</SECTION></BODY>\r\n<TAIL>" + storage + "</TAIL>\r\n</HWPML>\r\n";
}

}  // namespace samples
