// Writes the Windows program's pictures from the same drawings the Linux
// window shows: each icon as an .ico file at the sizes its resource holds,
// and the dialogs' two pictures as 32-bit .bmp files with their alpha.
//   windows_pictures OUTPUT_FOLDER
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct CIconResource {
  int id;
  std::vector<int> sizes;
  int drawing = 0;  // the drawing's number when it is not the id
};

// Each button icon also has a twin for screens over 96 dots per inch, at
// this offset from its id, drawn at the sizes 125 % to 200 % ask for.
constexpr int kLargeTwinOffset = 1000;
const std::vector<int> kLargeTwinSizes = {20, 24, 32, 40, 48, 64};

// The ids and sizes the program's resources give each icon.
const CIconResource kIcons[] = {
    {128, {16, 32, 48}}, {131, {32}},     {132, {32}}, {133, {32}}, {134, {32}},
    {138, {32}},         {140, {16, 32}}, {141, {16}}, {142, {16}}, {143, {32}},
};

void Put16(std::string& out, unsigned v) {
  out += char(v & 0xFF);
  out += char(v >> 8 & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A 40-byte bitmap header, then the pixels bottom-up as BGRA; with an
// AND mask after them for an icon (height counts both).
std::string DeviceIndependentBitmap(const QImage& source, bool withMask) {
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  const int w = image.width(), h = image.height();
  const int maskStride = ((w + 31) / 32) * 4;
  std::string out;
  Put32(out, 40);
  Put32(out, uint32_t(w));
  Put32(out, uint32_t(withMask ? 2 * h : h));
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, 0);  // BI_RGB
  Put32(out, uint32_t(w * h * 4 + (withMask ? maskStride * h : 0)));
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  for (int y = h - 1; y >= 0; --y) {
    const auto* line = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    for (int x = 0; x < w; ++x) Put32(out, line[x]);
  }
  if (withMask) {
    for (int y = h - 1; y >= 0; --y) {
      std::string row(size_t(maskStride), '\0');
      for (int x = 0; x < w; ++x)
        if (qAlpha(image.pixel(x, y)) == 0) row[size_t(x / 8)] = char(row[size_t(x / 8)] | (0x80 >> (x % 8)));
      out += row;
    }
  }
  return out;
}

QImage Render(QSvgRenderer& drawing, int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  drawing.render(&painter);
  return image;
}

bool Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

bool WriteIcon(const std::string& folder, const CIconResource& icon) {
  QSvgRenderer drawing(QStringLiteral(":/boxfeeder/icon%1.svg").arg(icon.drawing ? icon.drawing : icon.id));
  if (!drawing.isValid()) return false;
  std::vector<std::string> images;
  for (int size : icon.sizes) images.push_back(DeviceIndependentBitmap(Render(drawing, size), true));
  std::string out;
  Put16(out, 0);
  Put16(out, 1);  // an icon
  Put16(out, unsigned(images.size()));
  uint32_t offset = uint32_t(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const int size = icon.sizes[i];
    out += char(size >= 256 ? 0 : size);
    out += char(size >= 256 ? 0 : size);
    out += '\0';  // no palette
    out += '\0';
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, uint32_t(images[i].size()));
    Put32(out, offset);
    offset += uint32_t(images[i].size());
  }
  for (const std::string& image : images) out += image;
  return Write(folder + "/icon" + std::to_string(icon.id) + ".ico", out);
}

bool WriteBitmap(const std::string& folder, int id) {
  const QImage image(QStringLiteral(":/boxfeeder/bitmap%1.png").arg(id));
  if (image.isNull()) return false;
  const std::string info = DeviceIndependentBitmap(image, false);
  std::string out = "BM";
  Put32(out, uint32_t(14 + info.size()));
  Put32(out, 0);
  Put32(out, 14 + 40);
  return Write(folder + "/bitmap" + std::to_string(id) + ".bmp", out + info);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: windows_pictures OUTPUT_FOLDER\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  Q_INIT_RESOURCE(boxfeeder);
  const std::string folder = argv[1];
  std::vector<CIconResource> icons(std::begin(kIcons), std::end(kIcons));
  for (const CIconResource& icon : kIcons)
    if (icon.id != 128) icons.push_back({icon.id + kLargeTwinOffset, kLargeTwinSizes, icon.id});
  for (const CIconResource& icon : icons)
    if (!WriteIcon(folder, icon)) {
      std::fprintf(stderr, "windows_pictures: icon %d could not be written to %s\n", icon.id, folder.c_str());
      return 1;
    }
  for (int id : {136, 137})
    if (!WriteBitmap(folder, id)) {
      std::fprintf(stderr, "windows_pictures: bitmap %d could not be written to %s\n", id, folder.c_str());
      return 1;
    }
  return 0;
}
