#pragma once

// The rights a user may hold, each including the ones before it. A remote method
// names the least one it needs when it is registered; Anyone needs no user at all.
enum class AccessRight { Anyone, Consulta, Faturamento, Supervisor };
