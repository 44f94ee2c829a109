# frozen_string_literal: true

require 'json'
require_relative 'lib/newsletter/mailer'

# Sends the monthly newsletter to every confirmed subscriber.
module Newsletter
  DEFAULT_FROM = 'news@cornerbakery.example'
  BATCH_SIZE = 50

  class DeliveryError < StandardError; end

  # One subscriber, as stored in subscribers.json.
  Subscriber = Struct.new(:email, :name, :confirmed, keyword_init: true) do
    def greeting
      name.nil? || name.empty? ? 'Hello' : "Hello #{name}"
    end
  end

  class Campaign
    attr_reader :subject, :sent, :failed

    def initialize(subject:, body:, from: DEFAULT_FROM, mailer: Mailer.new)
      @subject = subject
      @body = body
      @from = from
      @mailer = mailer
      @sent = 0
      @failed = []
    end

    def self.load_subscribers(path)
      JSON.parse(File.read(path), symbolize_names: true)
          .map { |attributes| Subscriber.new(**attributes) }
          .select(&:confirmed)
    end

    def deliver(subscribers)
      subscribers.each_slice(BATCH_SIZE).with_index(1) do |batch, number|
        puts "Batch #{number}: #{batch.size} messages"
        batch.each { |subscriber| deliver_one(subscriber) }
        sleep 1 unless batch.size < BATCH_SIZE
      end
      self
    end

    def finished?
      !@failed.empty? || @sent.positive?
    end

    def summary
      case @failed.size
      when 0
        "#{@sent} sent"
      when 1..3
        "#{@sent} sent, failed: #{@failed.join(', ')}"
      else
        "#{@sent} sent, #{@failed.size} failed"
      end
    end

    private

    def deliver_one(subscriber)
      text = format(@body, greeting: subscriber.greeting)
      @mailer.send_message(from: @from, to: subscriber.email, subject: @subject, text: text)
      @sent += 1
    rescue DeliveryError, IOError => e
      warn "could not send to #{subscriber.email}: #{e.message}"
      @failed << subscriber.email
    ensure
      $stdout.flush
    end
  end
end

if $PROGRAM_NAME == __FILE__
  subject = ARGV.fetch(0) { abort 'usage: send_newsletter.rb SUBJECT' }
  body = File.read('templates/newsletter.txt')
  campaign = Newsletter::Campaign.new(subject: subject, body: body)
  subscribers = Newsletter::Campaign.load_subscribers('data/subscribers.json')
  puts campaign.deliver(subscribers).summary
  exit(campaign.failed.empty? ? 0 : 1)
end
