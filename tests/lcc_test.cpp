// Map projection: reference points, failure statuses, round trips and a
// side-by-side check against PROJ's EPSG:3978.
#include "maps/lcc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#ifdef KIV_HAVE_PROJ
#include <proj.h>
#endif

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kRho0 = 4654175.264417393;

struct ForwardCase {
  const char* what;
  double lat, lon;
  double x, y;
  double tolerance;  // metres
};

TEST(LccForward, ReferencePoints) {
  const ForwardCase cases[] = {
      {"origin", 49.0, -95.0, 0.0, 0.0, 0.0},
      {"pole", 90.0, -95.0, 0.0, kRho0, 1e-6},
      {"pole, other meridian", 90.0, 37.5, 0.0, kRho0, 1e-6},
      {"Ottawa", 45.4215, -75.6972, 1510614.978, -169810.950, 1e-3},
      {"60 N 120 W", 60.0, -120.0, -1321312.294, 1467353.031, 1e-3},
      {"180 wraps once to -85 from the centre", 49.0, 180.0, -4526850.422, 3572984.880, 1e-3},
  };
  for (const ForwardCase& c : cases) {
    SCOPED_TRACE(c.what);
    double x = 12345, y = 12345;
    testing::internal::CaptureStdout();
    ASSERT_EQ(ll2lcc(&x, &y, c.lat, c.lon), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NEAR(x, c.x, c.tolerance);
    EXPECT_NEAR(y, c.y, c.tolerance);
  }
}

TEST(LccForward, DerivedConstantsOfTheGrid) {
  const LccProjection& g = lcc_map_grid();
  EXPECT_NEAR(g.ecc, 0.08181919131086976, 1e-15);
  EXPECT_NEAR(g.cone_n, 0.9007900864033928, 1e-14);
  EXPECT_NEAR(g.scale_f, 1.7621526923578044, 1e-14);
  EXPECT_NEAR(g.rho0, kRho0, 1e-7);
  // Stored in radians with the short degree factor.
  EXPECT_EQ(g.centre_lon, -95.0 * 0.0174532925199);
  EXPECT_EQ(g.centre_lat, 49.0 * 0.0174532925199);
  EXPECT_EQ(g.semi_minor, 6356752.314);
}

struct RejectCase {
  const char* what;
  double lat, lon;
  const char* message;
};

// A point that cannot be placed is reported, not fatal: the status is 0 and
// the caller's outputs keep their values.
TEST(LccForward, UnplaceablePointsReturnZeroAndLeaveOutputs) {
  const RejectCase cases[] = {
      {"latitude above 90", 90.0001, 0.0, "error: input out of range\n"},
      {"latitude below -90", -90.5, -95.0, "error: input out of range\n"},
      {"longitude below -180", 49.0, -180.5, "error: input out of range\n"},
      {"longitude above 180", 49.0, 180.000001, "error: input out of range\n"},
      {"NaN latitude", kNaN, -95.0, "error: input out of range\n"},
      {"NaN longitude", 49.0, kNaN, "error: input out of range\n"},
      {"infinite latitude", std::numeric_limits<double>::infinity(), 0.0,
       "error: input out of range\n"},
      {"south pole, away from the apex", -90.0, -95.0, "Point can not be projected - ll2lcc\n"},
  };
  for (const RejectCase& c : cases) {
    SCOPED_TRACE(c.what);
    double x = 111.0, y = 222.0;
    testing::internal::CaptureStdout();
    int placed = ll2lcc(&x, &y, c.lat, c.lon);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    EXPECT_EQ(placed, 0);
    EXPECT_EQ(x, 111.0);
    EXPECT_EQ(y, 222.0);
  }
}

TEST(LccForward, RangeBoundsAreInclusive) {
  double x, y;
  EXPECT_EQ(ll2lcc(&x, &y, 90.0, 180.0), 1);
  EXPECT_EQ(ll2lcc(&x, &y, -89.9999, -180.0), 1);
  EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
}

TEST(LccInverse, ShortAngleFactorsShowAtApexAndOrigin) {
  double lat = 0, lon = 0;
  ASSERT_EQ(lcc2ll(&lat, &lon, 0.0, lcc_map_grid().rho0), 1);
  EXPECT_DOUBLE_EQ(lat, 90.00000000002777);
  EXPECT_NEAR(lon, -94.99999999979, 1e-10);

  ASSERT_EQ(lcc2ll(&lat, &lon, 0.0, 0.0), 1);
  EXPECT_NEAR(lat, 48.9999999999, 1e-10);
  EXPECT_NEAR(lon, -94.9999999998, 1e-10);
  EXPECT_NE(lat, 49.0);  // close, not exact
}

TEST(LccInverse, NonConvergenceReturnsZero) {
  testing::internal::CaptureStdout();
  double phi = phi2z(lcc_map_grid().ecc, kNaN);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Convergence error - phi2z\n");
  EXPECT_EQ(phi, -100.0);

  double lat = 1.0, lon = 2.0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(lcc2ll(&lat, &lon, kNaN, 0.0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Convergence error - phi2z\n");
  EXPECT_DOUBLE_EQ(lat, -100.0 * 57.2957795131);
  EXPECT_EQ(lon, 2.0);
}

TEST(LccInverse, Phi2zInvertsTOfLat) {
  const double e = lcc_map_grid().ecc;
  for (double deg = -89.0; deg <= 89.0; deg += 0.5) {
    double phi = deg * 0.0174532925199;
    EXPECT_NEAR(phi2z(e, t_of_lat(e, phi, std::sin(phi))), phi, 1e-11) << deg;
  }
}

TEST(LccHelpers, WrapAndSign) {
  EXPECT_EQ(sign_of(0.0), 1.0);
  EXPECT_EQ(sign_of(-0.0), 1.0);
  EXPECT_EQ(sign_of(-1e-300), -1.0);
  EXPECT_EQ(wrap_lon(3.0), 3.0);
  EXPECT_EQ(wrap_lon(-3.0), -3.0);
  EXPECT_DOUBLE_EQ(wrap_lon(3.141592653589793), -3.141592653589793);
  EXPECT_DOUBLE_EQ(wrap_lon(4.0), 4.0 - 6.283185307179586);
  EXPECT_DOUBLE_EQ(wrap_lon(-4.0), -4.0 + 6.283185307179586);
  // One step only.
  EXPECT_DOUBLE_EQ(wrap_lon(8.0), 8.0 - 6.283185307179586);
  EXPECT_DOUBLE_EQ(m_of_lat(0.0, 0.5, 0.75), 0.75);
  EXPECT_DOUBLE_EQ(t_of_lat(0.0, 0.0, 0.0), 1.0);
}

TEST(LccInit, SymmetricParallelsAreAnErrorNotAnExit) {
  LccProjection p{};
  p.rho0 = 7.0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(lccinit(&p, 6378137.0, 6356752.314, 30.0, -30.0, -95.0, 0.0, 0.0, 0.0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Equal Latitiudes for St. Parallels on opposite sides of equator - lccinit\n");
  EXPECT_EQ(p.rho0, 7.0);
}

TEST(LccInit, OneStandardParallelUsesItsSine) {
  LccProjection p{};
  ASSERT_EQ(lccinit(&p, 6378137.0, 6356752.314, 49.0, 49.0, -95.0, 49.0, 1000.0, 2000.0), 1);
  EXPECT_DOUBLE_EQ(p.cone_n, std::sin(49.0 * 0.0174532925199));
  double x, y;
  ASSERT_EQ(lcc_forward(p, &x, &y, 49.0, -95.0), 1);
  EXPECT_DOUBLE_EQ(x, 1000.0);
  EXPECT_DOUBLE_EQ(y, 2000.0);
  double lat, lon;
  ASSERT_EQ(lcc_inverse(p, &lat, &lon, x + 5000.0, y - 7000.0), 1);
  ASSERT_EQ(lcc_forward(p, &x, &y, lat, lon), 1);
  // The short angle factors are not exact inverses: some 2e-10 degrees.
  EXPECT_NEAR(x, 6000.0, 1e-4);
  EXPECT_NEAR(y, -5000.0, 1e-4);
}

TEST(LccInit, SouthernConeRoundTrips) {
  // Negative cone constant: the other branch of the inverse.
  LccProjection p{};
  ASSERT_EQ(lccinit(&p, 6378137.0, 6356752.314, -20.0, -40.0, 135.0, -30.0, 0.0, 0.0), 1);
  ASSERT_LT(p.cone_n, 0.0);
  double x, y, lat, lon;
  ASSERT_EQ(lcc_forward(p, &x, &y, -33.87, 151.21), 1);
  ASSERT_EQ(lcc_inverse(p, &lat, &lon, x, y), 1);
  EXPECT_NEAR(lat, -33.87, 1e-9);
  EXPECT_NEAR(lon, 151.21, 1e-9);
}

TEST(LccRoundTrip, ServiceAreaComesBackWithinShortFactorError) {
  double worst = 0;
  for (double lat = 40.0; lat <= 75.0; lat += 0.5) {
    for (double lon = -150.0; lon <= -45.0; lon += 0.5) {
      double x, y, lat2 = 0, lon2 = 0;
      ASSERT_EQ(ll2lcc(&x, &y, lat, lon), 1);
      ASSERT_EQ(lcc2ll(&lat2, &lon2, x, y), 1);
      worst = std::fmax(worst, std::fmax(std::fabs(lat2 - lat), std::fabs(lon2 - lon)));
    }
  }
  EXPECT_LT(worst, 1e-9);
  std::printf("round trip: largest error %.3g degrees\n", worst);
}

TEST(LccRoundTrip, MetresToDegreesAndBack) {
  for (double x = -5e6; x <= 5e6; x += 2.5e5) {
    for (double y = -2e6; y <= 4.5e6; y += 2.5e5) {
      double lat, lon, x2, y2;
      ASSERT_EQ(lcc2ll(&lat, &lon, x, y), 1);
      if (!(lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180)) continue;
      ASSERT_EQ(ll2lcc(&x2, &y2, lat, lon), 1);
      EXPECT_NEAR(x2, x, 1e-3) << x << "," << y;
      EXPECT_NEAR(y2, y, 1e-3) << x << "," << y;
    }
  }
}

#ifdef KIV_HAVE_PROJ
TEST(LccAgainstProj, Epsg3978OverTheServiceArea) {
  PJ_CONTEXT* ctx = proj_context_create();
  proj_log_level(ctx, PJ_LOG_NONE);
  PJ* raw = proj_create_crs_to_crs(ctx, "EPSG:4326", "EPSG:3978", nullptr);
  PJ* pj = raw ? proj_normalize_for_visualization(ctx, raw) : nullptr;
  if (!pj) {
    std::string why = proj_context_errno_string(ctx, proj_context_errno(ctx));
    if (raw) proj_destroy(raw);
    proj_context_destroy(ctx);
    GTEST_SKIP() << "PROJ cannot create EPSG:4326 -> EPSG:3978: " << why;
  }
  double worst = 0, worstLat = 0, worstLon = 0;
  int points = 0;
  for (int i = 0; i <= 140; i++) {
    for (int j = 0; j <= 420; j++) {
      double lat = 40.0 + 0.25 * i, lon = -150.0 + 0.25 * j;
      double x, y;
      ASSERT_EQ(ll2lcc(&x, &y, lat, lon), 1);
      PJ_COORD out = proj_trans(pj, PJ_FWD, proj_coord(lon, lat, 0, 0));
      ASSERT_TRUE(std::isfinite(out.xy.x)) << lat << "," << lon;
      double d = std::hypot(out.xy.x - x, out.xy.y - y);
      if (d > worst) worst = d, worstLat = lat, worstLon = lon;
      points++;
    }
  }
  proj_destroy(pj);
  proj_destroy(raw);
  proj_context_destroy(ctx);
  char text[96];
  std::snprintf(text, sizeof text, "%.4f", worst * 1000.0);
  RecordProperty("proj_max_difference_mm", text);
  std::printf("PROJ EPSG:3978: %d points, largest difference %s mm at %.2f,%.2f\n", points, text,
              worstLat, worstLon);
  EXPECT_LT(worst, 1e-4);
}
#else
TEST(LccAgainstProj, Epsg3978OverTheServiceArea) { GTEST_SKIP() << "built without PROJ"; }
#endif

}  // namespace
