// Eigenvalues and eigenvectors of a symmetric matrix held as its packed lower
// triangle (element (i, j), j <= i, at i(i + 1)/2 + j): Householder reduction
// to tridiagonal form (EISPACK TRED3), the eigenvalues of the tridiagonal
// matrix by the implicit QL method with block tags (EISPACK IMTQLV), and
// eigenvectors for chosen eigenvalues by inverse iteration on the tridiagonal
// matrix, carried back through the stored reflections. Free functions over
// caller-owned arrays; nothing is allocated except by eigenvectors_packed.
#pragma once

#include <cstddef>
#include <vector>

namespace quorix {

// Relative precision of a double, the negligibility factor of the QL method.
constexpr double kMachinePrecision = 2.220446049250313e-16;
// QL iterations allowed for one eigenvalue.
constexpr int kMaxQlIterations = 30;

// Reduces the packed n x n matrix to tridiagonal form: diagonal d, subdiagonal
// e (e[i] couples rows i - 1 and i; e[0] = 0) and its squares e2. The packed
// matrix is overwritten with the reflections (row i below the diagonal holds
// the vector of reflection i, the diagonal element the square root of its norm
// factor), which tridiagonal_to_original reads.
void householder_tridiagonal(int n, double* packed, double* d, double* e, double* e2);

// Eigenvalues of the tridiagonal matrix (d, e, e2 as above; e2 is changed) in
// ascending order into w, each with the 1-based number of the diagonal block
// it was found in. work: n doubles. Returns 0, or the 1-based index of the
// eigenvalue that needed more than kMaxQlIterations iterations (w[0..index - 2]
// are then correct and ordered).
int tridiagonal_eigenvalues(int n, const double* d, const double* e, double* e2, double* w, int* tags, double* work);

// Both steps, then the eigenvalues and their tags reversed into descending
// order. The packed matrix is overwritten as by householder_tridiagonal.
// d, e, e2 and work: n doubles each. Returns what tridiagonal_eigenvalues returns.
int packed_eigenvalues(int n, double* packed, double* d, double* e, double* e2, double* work, double* eigenvalues,
                       int* tags);

// Unit eigenvectors of the tridiagonal matrix (d, e) for the given
// eigenvalues, by inverse iteration; vectors of eigenvalues closer than a
// small multiple of the matrix norm are made orthogonal to each other.
// vectors receives count columns of n values (vector c at c * n).
void tridiagonal_eigenvectors(int n, const double* d, const double* e, const double* eigenvalues, int count,
                              double* vectors);

// Applies the reflections stored by householder_tridiagonal to count columns
// of n values, turning eigenvectors of the tridiagonal matrix into those of
// the original one.
void tridiagonal_to_original(int n, const double* reflections, int count, double* vectors);

// The eigenvectors of the packed symmetric matrix (left unchanged) for its
// `count` largest eigenvalues, given in descending order. Each vector is
// turned so that its elements sum to a positive number (the first nonzero
// element positive when they sum to 0). Returns false when memory ran out.
bool eigenvectors_packed(int n, const double* packed, const double* eigenvalues, int count,
                         std::vector<double>& vectors);

}  // namespace quorix
