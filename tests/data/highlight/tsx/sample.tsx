import React, { useEffect, useMemo, useState } from 'react';
import type { ReactNode } from 'react';
import { fetchOrders, type Order } from '../api/orders';

/**
 * A filterable list of the customer's orders.
 * Rows are rendered by the caller, so the list works for any item type.
 */
export interface ListProps<T extends { id: string }> {
  items: readonly T[];
  renderItem: (item: T, index: number) => ReactNode;
  emptyText?: string;
  onSelect?(item: T): void;
}

type Status = 'idle' | 'loading' | 'failed';

const identity = <T,>(value: T): T => value;

export function List<T extends { id: string }>({ items, renderItem, emptyText }: ListProps<T>) {
  if (items.length === 0) {
    return <p className="list__empty">{emptyText ?? "There's nothing here yet."}</p>;
  }
  return (
    <ul className="list">
      {items.map((item, index) => (
        <li key={item.id} data-index={index}>
          {renderItem(item, index)}
        </li>
      ))}
    </ul>
  );
}

function StatusBadge({ status }: { status: Status }) {
  const label = status === 'failed' ? 'Couldn\'t load' : status;
  return <span className={`badge badge--${status}`} aria-live="polite">{label}</span>;
}

export default function OrdersPage({ customerId }: { customerId: string }) {
  const [orders, setOrders] = useState<Order[]>([]);
  const [status, setStatus] = useState<Status>('idle');
  const [query, setQuery] = useState('');

  useEffect(() => {
    let cancelled = false;
    setStatus('loading');
    fetchOrders(customerId)
      .then((result) => {
        if (!cancelled) {
          setOrders(result);
          setStatus('idle');
        }
      })
      .catch(() => setStatus('failed'));
    return () => {
      cancelled = true;
    };
  }, [customerId]);

  const visible = useMemo(
    () => orders.filter((order) => order.title.toLowerCase().includes(query.toLowerCase())),
    [orders, query],
  );
  const total = visible.reduce((sum, order) => sum + order.amount, 0);
  const hasMany = visible.length > 10 && total < 1_000_000;

  return (
    <section className="orders">
      <header>
        <h2>Your orders</h2>
        {/* The badge reads "loading" while we're waiting. */}
        <StatusBadge status={status} />
      </header>
      <label>
        Search: <input value={query} onChange={(e) => setQuery(e.target.value)} placeholder='e.g. "lamp"' />
      </label>
      <>
        <p>Don't see an order? It can take a day to show up &mdash; we'll email you.</p>
        {hasMany && <p className="hint">Tip: you can narrow the list with the search box.</p>}
      </>
      <List<Order>
        items={visible}
        emptyText={query ? `No order matches "${query}"` : undefined}
        renderItem={(order) => (
          <a href={`/orders/${order.id}`} title={order.title}>
            {order.title} &ndash; {identity(order.amount).toFixed(2)} €
          </a>
        )}
      />
    </section>
  );
}

// After the component, code is code again: a quote opens a string, a slash a pattern.
const pattern = /^[A-Z]{2}-\d+$/;
export const isOrderNumber = (text: string): text is string => pattern.test(text);
