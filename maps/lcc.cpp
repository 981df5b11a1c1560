// Lambert Conformal Conic, ellipsoidal form. The angle factors are the short
// decimal values the map grid has always been computed with; they are kept
// so that stored sheet extents and server requests keep matching.
#include "maps/lcc.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr double kDegToRad = 0.0174532925199;
constexpr double kRadToDeg = 57.2957795131;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kEpsilon = 1e-10;
constexpr int kMaxLatIterations = 16;
constexpr double kNoConvergence = -100.0;
constexpr double kFailedLatitude = -99.0;

// The map grid: Canada Atlas Lambert on GRS 80 (semi-minor axis as stored).
constexpr double kGridSemiMajor = 6378137.0;
constexpr double kGridSemiMinor = 6356752.314;
constexpr double kGridLat1 = 49.0;
constexpr double kGridLat2 = 77.0;
constexpr double kGridCentreLon = -95.0;
constexpr double kGridCentreLat = 49.0;

}  // namespace

double sign_of(double x) { return x < 0 ? -1.0 : 1.0; }

double wrap_lon(double lon) {
  // One step only: callers stay within +-3 pi.
  return std::fabs(lon) < kPi ? lon : lon - sign_of(lon) * kTwoPi;
}

double m_of_lat(double ecc, double sinphi, double cosphi) {
  double con = ecc * sinphi;
  return cosphi / std::sqrt(1.0 - con * con);
}

double t_of_lat(double ecc, double phi, double sinphi) {
  double con = ecc * sinphi;
  double com = 0.5 * ecc;
  con = std::pow((1.0 - con) / (1.0 + con), com);
  return std::tan(0.5 * (kHalfPi - phi)) / con;
}

double phi2z(double ecc, double t) {
  double eccnth = 0.5 * ecc;
  double phi = kHalfPi - 2 * std::atan(t);
  for (int i = 0; i < kMaxLatIterations; i++) {
    double sinpi = std::sin(phi);
    double con = ecc * sinpi;
    double dphi = kHalfPi - 2 * std::atan(t * std::pow((1.0 - con) / (1.0 + con), eccnth)) - phi;
    phi += dphi;
    if (std::fabs(dphi) <= kEpsilon) return phi;
  }
  std::printf("Convergence error - phi2z\n");
  return kNoConvergence;
}

int lccinit(LccProjection* proj, double semi_major, double semi_minor, double lat1, double lat2,
            double centre_lon, double centre_lat, double false_easting, double false_northing) {
  double phi1 = lat1 * kDegToRad;
  double phi2 = lat2 * kDegToRad;
  LccProjection p{};
  p.semi_major = semi_major;
  p.semi_minor = semi_minor;
  p.centre_lon = centre_lon * kDegToRad;
  p.centre_lat = centre_lat * kDegToRad;
  p.false_easting = false_easting;
  p.false_northing = false_northing;

  if (std::fabs(phi1 + phi2) < kEpsilon) {
    std::printf("Equal Latitiudes for St. Parallels on opposite sides of equator - lccinit\n");
    return 0;
  }

  double ratio = semi_minor / semi_major;
  p.ecc = std::sqrt(1.0 - ratio * ratio);

  double sin1 = std::sin(phi1);
  double m1 = m_of_lat(p.ecc, sin1, std::cos(phi1));
  double t1 = t_of_lat(p.ecc, phi1, sin1);
  double sin2 = std::sin(phi2);
  double m2 = m_of_lat(p.ecc, sin2, std::cos(phi2));
  double t2 = t_of_lat(p.ecc, phi2, sin2);
  double t0 = t_of_lat(p.ecc, p.centre_lat, std::sin(p.centre_lat));

  if (std::fabs(phi1 - phi2) > kEpsilon)
    p.cone_n = std::log(m1 / m2) / std::log(t1 / t2);
  else
    p.cone_n = sin1;
  p.scale_f = m1 / (p.cone_n * std::pow(t1, p.cone_n));
  p.rho0 = semi_major * p.scale_f * std::pow(t0, p.cone_n);
  *proj = p;
  return 1;
}

const LccProjection& lcc_map_grid() {
  static const LccProjection grid = [] {
    LccProjection p{};
    lccinit(&p, kGridSemiMajor, kGridSemiMinor, kGridLat1, kGridLat2, kGridCentreLon,
            kGridCentreLat, 0.0, 0.0);
    return p;
  }();
  return grid;
}

int lcc_forward(const LccProjection& p, double* x, double* y, double lat, double lon) {
  // Written so that NaN fails too.
  if (!(lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0)) {
    std::printf("error: input out of range\n");
    return 0;
  }
  double phi = lat * kDegToRad;
  double lam = lon * kDegToRad;
  double rho;
  if (std::fabs(std::fabs(phi) - kHalfPi) > kEpsilon) {
    rho = p.semi_major * p.scale_f * std::pow(t_of_lat(p.ecc, phi, std::sin(phi)), p.cone_n);
  } else if (phi * p.cone_n > 0) {
    rho = 0;  // the pole at the cone's apex
  } else {
    std::printf("Point can not be projected - ll2lcc\n");
    return 0;
  }
  double theta = p.cone_n * wrap_lon(lam - p.centre_lon);
  *x = rho * std::sin(theta) + p.false_easting;
  *y = p.rho0 - rho * std::cos(theta) + p.false_northing;
  return 1;
}

int lcc_inverse(const LccProjection& p, double* lat, double* lon, double x, double y) {
  double xs = x - p.false_easting;
  double ys = p.rho0 - y + p.false_northing;
  double rho;
  double con;
  if (p.cone_n > 0) {
    rho = std::sqrt(xs * xs + ys * ys);
    con = 1.0;
  } else {
    rho = -std::sqrt(xs * xs + ys * ys);
    con = -1.0;
  }
  double theta = 0.0;
  if (rho != 0) theta = std::atan2(con * xs, con * ys);
  if (rho != 0 || p.cone_n > 0) {
    double t = std::pow(rho / (p.semi_major * p.scale_f), 1.0 / p.cone_n);
    *lat = phi2z(p.ecc, t) * kRadToDeg;
    if (*lat < kFailedLatitude) return 0;
  } else {
    *lat = -kHalfPi * kRadToDeg;
  }
  *lon = wrap_lon(theta / p.cone_n + p.centre_lon) * kRadToDeg;
  return 1;
}

int ll2lcc(double* x, double* y, double lat, double lon) {
  return lcc_forward(lcc_map_grid(), x, y, lat, lon);
}

int lcc2ll(double* lat, double* lon, double x, double y) {
  return lcc_inverse(lcc_map_grid(), lat, lon, x, y);
}
