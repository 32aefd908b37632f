#include "Cli_fas09601/PreviewLink.h"

void PreviewLink::SetLoader(QObject *owner, Loader load)
{
    m_owner = owner;
    m_load = std::move(load);
}

void PreviewLink::Load(const TFILTRO &filtro) const
{
    if (m_owner && m_load)
        m_load(filtro);
}
