/**
 * Order service: talks to the REST API and keeps a small in-memory cache.
 */
import { Injectable } from '@angular/core';
import type { HttpClient } from '@angular/common/http';

export enum OrderState {
  Draft = 'draft',
  Paid = 'paid',
  Shipped = 'shipped',
}

export const enum Flags { None = 0, Urgent = 1 << 0, Gift = 1 << 1 }

export interface Order {
  readonly id: string;
  title: string;
  amount: number;
  state: OrderState;
  tags?: string[];
}

export type OrderPatch = Partial<Omit<Order, 'id'>>;
type Handler<T = unknown> = (value: T) => void | Promise<void>;
type Keys = keyof Order;
type ElementOf<A> = A extends readonly (infer E)[] ? E : never;

declare global {
  interface Window { __ORDERS__?: Order[] }
}

declare module 'legacy-cart' {
  export function load(key: string): unknown;
}

namespace Money {
  export const format = (cents: bigint | number): string => `${Number(cents) / 100} €`;
}

const DEFAULTS = { pageSize: 20, retries: 3 } as const satisfies Record<string, number>;

function isOrder(value: unknown): value is Order {
  return typeof value === 'object' && value !== null && 'id' in value;
}

function assertPaid(order: Order): asserts order is Order & { state: OrderState.Paid } {
  if (order.state !== OrderState.Paid) throw new Error(`Order ${order.id} isn't paid`);
}

abstract class Repository<T extends { id: string }> {
  protected readonly cache = new Map<string, T>();
  abstract fetch(id: string): Promise<T>;

  get size(): number {
    return this.cache.size;
  }
}

@Injectable({ providedIn: 'root' })
export class OrderService extends Repository<Order> implements Iterable<Order> {
  static #instances = 0;
  private handlers: Handler<Order>[] = [];
  declare readonly version: string;
  accessor lastError: Error | null = null;

  constructor(private readonly http: HttpClient, public baseUrl = '/api/orders') {
    super();
    OrderService.#instances++;
  }

  override async fetch(id: string): Promise<Order> {
    const cached = this.cache.get(id);
    if (cached) return cached;
    const order = await this.http.get<Order>(`${this.baseUrl}/${encodeURIComponent(id)}`).toPromise();
    if (!isOrder(order)) throw new TypeError("unexpected payload");
    this.cache.set(order!.id, order);
    this.handlers.forEach((handler) => void handler(order));
    return order;
  }

  on(handler: Handler<Order>): () => void {
    this.handlers.push(handler);
    return () => { this.handlers = this.handlers.filter((h) => h !== handler); };
  }

  *[Symbol.iterator](): Iterator<Order> {
    yield* this.cache.values();
  }
}

// Generic arrows and comparisons are not markup.
const first = <T,>(items: T[]): T | undefined => items[0];
const pick = <T extends object, K extends keyof T>(obj: T, key: K): T[K] => obj[key];
const ids: Array<string> = [];
const total = (a: number, b: number, c: number, d: number) => a < b && c > d;
const legacy = <Order>JSON.parse(localStorage.getItem('order') ?? '{}');
let retries = DEFAULTS.retries;
retries ??= 3;
const url = import.meta.url ?? window.__ORDERS__?.[0]?.title;
for (const key of Object.keys(DEFAULTS) as Keys[]) {
  console.log(key, /\d+/.test(key) ? 'numeric' : "named");
}
