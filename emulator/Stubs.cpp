// Route families that korvexd does not serve yet; each moves to a file of
// its own as it lands, and requests to them answer 404 until then.
#include "Service.h"

namespace korvexd {
void AddShareRoutes(Service&) {}
void AddCodeRoutes(Service&) {}
void AddInfoRoutes(Service&) {}
void AddAdminRoutes(Service&) {}
}  // namespace korvexd
