#ifndef COREKIT_BASICVECTOR_H
#define COREKIT_BASICVECTOR_H

#include <cmath>
#include <cstddef>
#include <ostream>

/// Fixed-size vector of N components of type T, stored inline and passed by value.
/// Comparisons are component-wise over all components: `a < b` holds only when every
/// component of a is less than the matching one of b. They are not a total order.
template <std::size_t N, typename T>
class BasicVector {
 public:
  BasicVector() = default;

  template <typename... Args, typename = std::enable_if_t<sizeof...(Args) == N>>
  constexpr BasicVector(Args... values) : components{static_cast<T>(values)...} {}

  constexpr T& operator[](std::size_t i) { return components[i]; }
  constexpr const T& operator[](std::size_t i) const { return components[i]; }

  constexpr T& x() { return components[0]; }
  constexpr const T& x() const { return components[0]; }
  template <std::size_t M = N, typename = std::enable_if_t<(M >= 2)>>
  constexpr T& y() { return components[1]; }
  template <std::size_t M = N, typename = std::enable_if_t<(M >= 2)>>
  constexpr const T& y() const { return components[1]; }
  template <std::size_t M = N, typename = std::enable_if_t<(M >= 3)>>
  constexpr T& z() { return components[2]; }
  template <std::size_t M = N, typename = std::enable_if_t<(M >= 3)>>
  constexpr const T& z() const { return components[2]; }

  /// Two-component vectors used as sizes (heightmaps, images) read as width and height.
  template <std::size_t M = N, typename = std::enable_if_t<M == 2>>
  constexpr const T& width() const { return components[0]; }
  template <std::size_t M = N, typename = std::enable_if_t<M == 2>>
  constexpr const T& height() const { return components[1]; }

  constexpr BasicVector operator+(const BasicVector& other) const {
    BasicVector result;
    for (std::size_t i = 0; i < N; ++i) result.components[i] = components[i] + other.components[i];
    return result;
  }
  constexpr BasicVector operator-(const BasicVector& other) const {
    BasicVector result;
    for (std::size_t i = 0; i < N; ++i) result.components[i] = components[i] - other.components[i];
    return result;
  }
  constexpr BasicVector operator/(T divisor) const {
    BasicVector result;
    for (std::size_t i = 0; i < N; ++i) result.components[i] = components[i] / divisor;
    return result;
  }
  constexpr BasicVector& operator+=(const BasicVector& other) { return *this = *this + other; }
  constexpr BasicVector& operator-=(const BasicVector& other) { return *this = *this - other; }

  constexpr bool operator<(const BasicVector& other) const {
    for (std::size_t i = 0; i < N; ++i)
      if (!(components[i] < other.components[i])) return false;
    return true;
  }
  constexpr bool operator<=(const BasicVector& other) const {
    for (std::size_t i = 0; i < N; ++i)
      if (!(components[i] <= other.components[i])) return false;
    return true;
  }
  constexpr bool operator>(const BasicVector& other) const {
    for (std::size_t i = 0; i < N; ++i)
      if (!(components[i] > other.components[i])) return false;
    return true;
  }
  constexpr bool operator>=(const BasicVector& other) const {
    for (std::size_t i = 0; i < N; ++i)
      if (!(components[i] >= other.components[i])) return false;
    return true;
  }
  constexpr bool operator==(const BasicVector& other) const {
    for (std::size_t i = 0; i < N; ++i)
      if (!(components[i] == other.components[i])) return false;
    return true;
  }
  constexpr bool operator!=(const BasicVector& other) const { return !(*this == other); }

 private:
  T components[N];
};

/// Text form used in the log: BasicVector<3,?(sizeof=4)> (1;2;3;)
template <std::size_t N, typename T>
std::ostream& operator<<(std::ostream& out, const BasicVector<N, T>& v) {
  out << "BasicVector<" << N << ",?(sizeof=" << sizeof(T) << ")> (";
  for (std::size_t i = 0; i < N; ++i) out << v[i] << ";";
  return out << ")";
}

using Float3 = BasicVector<3, float>;
using Int3 = BasicVector<3, int>;
using Int2 = BasicVector<2, int>;
using Float2 = BasicVector<2, float>;

/// Squared Euclidean distance between two points, summed x, y, z in float.
inline float squaredDistance(const Float3& a, const Float3& b) {
  const Float3 d = a - b;
  return d.x() * d.x() + d.y() * d.y() + d.z() * d.z();
}

inline float distance(const Float3& a, const Float3& b) { return std::sqrt(squaredDistance(a, b)); }

inline float dot(const Float3& a, const Float3& b) { return a.x() * b.x() + a.y() * b.y() + a.z() * b.z(); }

/// Cross product a x b.
inline Float3 cross(const Float3& a, const Float3& b) {
  return Float3(a.y() * b.z() - a.z() * b.y(), a.z() * b.x() - a.x() * b.z(), a.x() * b.y() - a.y() * b.x());
}

/// Whether no component is infinite or NaN.
inline bool isFinite(const Float3& v) { return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z()); }

#endif
