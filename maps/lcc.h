// Lambert Conformal Conic projection with two standard parallels on an
// ellipsoid (USGS Professional Paper 1395). The map grid is the one fixed
// set of Canada Atlas Lambert (EPSG 3978): geographic degrees <-> metres.
#pragma once

// Constants of one projection; angles in radians, lengths in metres.
struct LccProjection {
  double semi_major;
  double semi_minor;
  double centre_lon;
  double centre_lat;
  double false_easting;
  double false_northing;
  double ecc;
  double rho0;
  double cone_n;
  double scale_f;
};

// Derives *proj from the axes, the standard parallels, the central meridian
// and the latitude of origin (degrees) and the false offsets. Returns 1, or
// 0 (with a message on stdout, *proj untouched) when the standard parallels
// lie symmetric about the equator.
int lccinit(LccProjection* proj, double semi_major, double semi_minor, double lat1, double lat2,
            double centre_lon, double centre_lat, double false_easting, double false_northing);

// The map grid's constants, derived once by lccinit from the fixed set.
const LccProjection& lcc_map_grid();

// Pure transforms on a constants record; same contracts as ll2lcc / lcc2ll.
int lcc_forward(const LccProjection& proj, double* x, double* y, double lat, double lon);
int lcc_inverse(const LccProjection& proj, double* lat, double* lon, double x, double y);

// Degrees to map metres. Returns 1, or 0 when the point cannot be placed
// (latitude outside [-90, 90], longitude outside [-180, 180], NaN, or the
// pole away from the cone's apex): a message goes to stdout and *x, *y are
// left untouched. Callers treat 0 as "cannot be placed".
int ll2lcc(double* x, double* y, double lat, double lon);

// Map metres to degrees. Returns 1, or 0 when the latitude iteration did not
// converge (then only *lat is written, with -100 radians in degrees).
int lcc2ll(double* lat, double* lon, double x, double y);

// Latitude (radians) from the isometric term t; -100.0 on non-convergence.
double phi2z(double ecc, double t);

// Helpers of the formulas, exposed for tests.
double m_of_lat(double ecc, double sinphi, double cosphi);
double t_of_lat(double ecc, double phi, double sinphi);
double wrap_lon(double lon);
double sign_of(double x);
