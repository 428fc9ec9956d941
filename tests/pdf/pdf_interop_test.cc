// Interoperability: every file we write passes qpdf's check, pdfinfo reads its pages and
// sizes, and poppler renders each page at 72 dpi to the source image's pixels.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "pdf/image_pdf_report.h"
#include "pdf/pdf_report.h"
#include "support/run_command.h"
#include "support/sample_bitmaps.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;

bool HaveTool(const char* path) { return ::access(path, X_OK) == 0; }

// Runs a command; returns its exit status and stdout.
int RunTool(const std::string& command, std::string* output = nullptr) {
  return testing::RunCommand(command + " 2>&1", output);
}

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// Reads a binary PPM (P6, maxval 255).
std::vector<Rgb> ReadPpm(const fs::path& path, int& width, int& height) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> width >> height >> maxval;
  in.get();
  std::vector<Rgb> pixels(static_cast<size_t>(width) * height);
  in.read(reinterpret_cast<char*>(pixels.data()), static_cast<std::streamsize>(pixels.size() * 3));
  if (magic != "P6" || maxval != 255 || !in) pixels.clear();
  return pixels;
}

std::vector<Rgb> Expected(const TBitmap& b) {
  std::vector<Rgb> pixels;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      TColor c = b.Pixel(x, y);
      pixels.push_back({GetRValue(c), GetGValue(c), GetBValue(c)});
    }
  return pixels;
}

// A full-colour test card: gradients and a few hard edges.
TBitmap Card(int width, int height, TPixelFormat format = TPixelFormat::pf24bit) {
  return testing::BitmapOf(width, height, format, [&](int x, int y) {
    return RGB(static_cast<uint8_t>(x * 255 / std::max(1, width - 1)),
               static_cast<uint8_t>(y * 255 / std::max(1, height - 1)),
               static_cast<uint8_t>((x + y) % 3 == 0 ? 255 : 40));
  });
}

TBitmap Indexed(int width, int height) {
  TBitmap b(width, height, TPixelFormat::pf8bit);
  std::vector<TRGBQuad> palette;
  for (int i = 0; i < 40; ++i)
    palette.push_back(
        QuadFromColor(RGB(static_cast<uint8_t>(i * 6), static_cast<uint8_t>(255 - i * 5),
                          static_cast<uint8_t>((i * 37) & 255))));
  b.SetPalette(palette);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b.SetRawPixel(x, y, (x * 7 + y * 3) % 40);
  return b;
}

TBitmap Mono(int width, int height) {
  TBitmap b(width, height, TPixelFormat::pf1bit);
  b.SetPalette({QuadFromColor(RGB(20, 30, 200)), QuadFromColor(RGB(250, 240, 10))});
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b.SetRawPixel(x, y, (x ^ y) & 1);
  return b;
}

class PdfInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {}

  void ExpectQpdfAccepts(const fs::path& pdf) {
    if (!HaveTool("/usr/bin/qpdf")) return;
    std::string out;
    int status = RunTool("/usr/bin/qpdf --check '" + pdf.string() + "'", &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("No syntax or stream encoding errors found"), std::string::npos) << out;
  }

  // pdfinfo's page count and the size of each page.
  void ExpectPages(const fs::path& pdf, const std::vector<std::pair<int, int>>& sizes) {
    if (!HaveTool("/usr/bin/pdfinfo")) return;
    std::string out;
    ASSERT_EQ(RunTool("/usr/bin/pdfinfo -f 1 -l " + std::to_string(sizes.size()) + " '" +
                          pdf.string() + "'",
                      &out),
              0)
        << out;
    EXPECT_NE(out.find("Pages:           " + std::to_string(sizes.size()) + "\n"),
              std::string::npos)
        << out;
    for (size_t i = 0; i < sizes.size(); ++i) {
      char line[128];
      std::snprintf(line, sizeof line, "Page %4zu size:  %d x %d pts", i + 1, sizes[i].first,
                    sizes[i].second);
      EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
  }

  std::vector<Rgb> Render(const fs::path& pdf, int page, int dpi, int& width, int& height) {
    fs::path prefix = dir_ / ("render" + std::to_string(page) + "_" + std::to_string(dpi));
    std::string out;
    EXPECT_EQ(RunTool("/usr/bin/pdftoppm -r " + std::to_string(dpi) + " -f " +
                          std::to_string(page) + " -l " + std::to_string(page) + " -singlefile '" +
                          pdf.string() + "' '" + prefix.string() + "'",
                      &out),
              0)
        << out;
    return ReadPpm(prefix.string() + ".ppm", width, height);
  }

  // At 72 dpi a page is the image's size in pixels. Poppler smooths images drawn at less than
  // four times their size, so there each pixel must lie within the colours of its source
  // neighbourhood; at 288 dpi it draws them plainly, and every 4 x 4 block must be exactly its
  // source pixel.
  void ExpectRendersAs(const fs::path& pdf, int page, const TBitmap& image) {
    if (!HaveTool("/usr/bin/pdftoppm")) return;
    const int w = image.Width(), h = image.Height();
    std::vector<Rgb> want = Expected(image);
    int width = 0, height = 0;
    std::vector<Rgb> got = Render(pdf, page, 72, width, height);
    ASSERT_EQ(width, w);
    ASSERT_EQ(height, h);
    ASSERT_EQ(got.size(), want.size());
    int outside = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        Rgb lo{255, 255, 255}, hi{0, 0, 0};
        for (int ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny)
          for (int nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx) {
            const Rgb& n = want[ny * w + nx];
            lo = {std::min(lo.r, n.r), std::min(lo.g, n.g), std::min(lo.b, n.b)};
            hi = {std::max(hi.r, n.r), std::max(hi.g, n.g), std::max(hi.b, n.b)};
          }
        const Rgb& g = got[y * w + x];
        auto in = [](int v, int a, int b) { return v >= a - 2 && v <= b + 2; };
        if (!in(g.r, lo.r, hi.r) || !in(g.g, lo.g, hi.g) || !in(g.b, lo.b, hi.b)) ++outside;
      }
    EXPECT_EQ(outside, 0) << "page " << page << " at 72 dpi";

    got = Render(pdf, page, 288, width, height);
    ASSERT_EQ(width, 4 * w);
    ASSERT_EQ(height, 4 * h);
    int wrong = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int dy = 0; dy < 4; ++dy)
          for (int dx = 0; dx < 4; ++dx)
            if (!(got[(4 * y + dy) * width + 4 * x + dx] == want[y * w + x])) ++wrong;
    EXPECT_EQ(wrong, 0) << "page " << page << " at 288 dpi";
  }

  pamirune::testing::TempDir temp_;
  fs::path dir_ = temp_.path();
};

TEST_F(PdfInteropTest, SinglePagesOfEveryDepth) {
  if (!HaveTool("/usr/bin/qpdf") && !HaveTool("/usr/bin/pdftoppm")) GTEST_SKIP() << "no tools";
  struct Case {
    const char* name;
    TBitmap image;
  };
  Case cases[] = {{"rgb", Card(37, 23)},
                  {"indexed", Indexed(16, 9)},
                  {"mono", Mono(13, 3)},
                  {"rgb32", Card(5, 8, TPixelFormat::pf32bit)},
                  {"one_pixel", Card(1, 1)}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path pdf = dir_ / (std::string(c.name) + ".pdf");
    ImagePdfReport report;
    report.WriteSingle(c.image, "PDF0", pdf.string());
    ExpectQpdfAccepts(pdf);
    ExpectPages(pdf, {{c.image.Width(), c.image.Height()}});
    ExpectRendersAs(pdf, 1, c.image);
  }
}

TEST_F(PdfInteropTest, ABatchOfPagesOfDifferentSizes) {
  std::vector<TBitmap> images = {Card(30, 20), Indexed(11, 40), Mono(64, 2), Card(30, 20)};
  ImagePdfReport report;
  report.BeginDoc();
  for (size_t i = 0; i < images.size(); ++i) {
    report.SetFileName((dir_ / ("img" + std::to_string(i) + ".pdf")).string());
    report.AddImagePage(images[i], "PDF" + std::to_string(i));
  }
  report.EndDoc();
  fs::path pdf = dir_ / "img3.pdf";
  ASSERT_TRUE(fs::exists(pdf));
  ExpectQpdfAccepts(pdf);
  ExpectPages(pdf, {{30, 20}, {11, 40}, {64, 2}, {30, 20}});
  for (size_t i = 0; i < images.size(); ++i)
    ExpectRendersAs(pdf, static_cast<int>(i + 1), images[i]);
}

TEST_F(PdfInteropTest, UncompressedOutlinedDocumentWithText) {
  TPReport report;
  report.SetUseOutlines(true);
  report.SetTitle("\xE7\x8C\xAB (cat)");
  report.SetPageMode(TPdfPageMode::pmUseOutlines);
  report.SetViewerPreference({TPdfViewerPreference::vpFitWindow});
  fs::path pdf = dir_ / "text.pdf";
  report.SetFileName(pdf.string());
  TPRPage page;
  TPRLayoutPanel panel;
  panel.SetParent(&page);
  panel.SetAlign(TPRAlign::alClient);
  TPRImage image;
  image.SetName("Card");
  image.SetParent(&panel);
  image.SetStretch(false);
  image.SetBounds(0, 0, 50, 50);
  TBitmap card = Card(80, 40);
  image.SetPicture(&card);
  page.OnPrintPage = [](TPRPage&, TPRCanvas& canvas) {
    TPdfCanvas& c = *canvas.PdfCanvas();
    c.SetFont("Times-Italic", 14);
    c.TextOut(40, 700, "Caf\xC3\xA9 (\xE2\x82\xAC) \\ ok");
    c.SetLineWidth(2);
    c.MoveTo(40, 690);
    c.LineTo(40 + c.TextWidth("Caf\xC3\xA9 (\xE2\x82\xAC) \\ ok"), 690);
    c.Stroke();
  };
  report.BeginDoc();
  report.Print(page);
  report.OutlineRoot()->AddEntry("First");
  report.Print(page);
  report.OutlineRoot()->AddEntry("\xE4\xBA\x8C");
  report.EndDoc();
  ExpectQpdfAccepts(pdf);
  ExpectPages(pdf, {{596, 842}, {596, 842}});
  if (HaveTool("/usr/bin/pdftotext")) {
    std::string out;
    RunTool("/usr/bin/pdftotext -f 1 -l 1 '" + pdf.string() + "' -", &out);
    EXPECT_NE(out.find("Caf\xC3\xA9 (\xE2\x82\xAC) \\ ok"), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace pamirune
