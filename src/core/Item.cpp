#include "Item.h"

bool Item::Status::operator==(const Status& other) const
{
    if (m_kind != other.m_kind)
        return false;
    switch (m_kind) {
    case Kind::working:
        return m_fraction == other.m_fraction;
    case Kind::failed:
        return m_message == other.m_message;
    default:
        return true;
    }
}
